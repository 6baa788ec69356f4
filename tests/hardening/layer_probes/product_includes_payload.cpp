// Must not compile: the product facts may not see the engine.
#include "payload/format.h"
