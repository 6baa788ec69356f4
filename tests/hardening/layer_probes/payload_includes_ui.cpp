// Must not compile: the engine may not see the window.
#include "ui/ui_state.h"
