// The window's own state and its initial values.
#include "ui/ui_state.h"

std::atomic<bool> g_agreed{true};
std::atomic<bool> g_button_pressed{false};
ProgressMeter* g_meter = nullptr;

HitRegion g_change_path_region{330, 300, 80, 20};
HitRegion g_agreement_region{0, 0, 0, 0};
HitRegion g_check_box_region{20, 0, 20, 20};
