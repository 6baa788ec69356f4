// Must not compile: the engine may not see the installation.
#include "install/install_state.h"
