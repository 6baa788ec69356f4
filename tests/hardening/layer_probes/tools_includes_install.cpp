// Must not compile: the vendor tool may not see the installation.
#include "install/install_state.h"
