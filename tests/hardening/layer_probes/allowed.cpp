// Must compile: the window sees every layer below it.
#include "install/install_state.h"
#include "payload/payload.h"
#include "platform/file.h"
#include "product/reader_mark.h"
#include "ui/ui_state.h"
