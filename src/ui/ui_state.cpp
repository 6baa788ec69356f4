// The window's own state and its initial values.
#include "ui/ui_state.h"

#include "ui/layout.h"

std::atomic<bool> g_agreed{true};
std::atomic<bool> g_button_pressed{false};
ProgressMeter* g_meter = nullptr;

HitRegion g_change_path_region = FIRST_CHANGE_PATH_REGION;
HitRegion g_agreement_region{0, 0, 0, 0};
HitRegion g_check_box_region{CHECK_BOX_REGION.x, 0, CHECK_BOX_REGION.width, CHECK_BOX_REGION.height};
