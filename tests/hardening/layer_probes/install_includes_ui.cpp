// Must not compile: the installation may not see the window.
#include "ui/ui_state.h"
