// Must not compile: the platform layer may not see the engine.
#include "payload/payload.h"
