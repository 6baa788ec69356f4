// The window's own state: the agreement box, the pressed button, the meter and the hit regions painting records.
#pragma once
#include <atomic>
#include <cstdint>

class ProgressMeter;

// One rectangle of pointer input: x, y, width, height in client pixels, both ends inside.
struct HitRegion {
    int32_t x, y, width, height;
};

extern std::atomic<bool> g_agreed;          // the agreement box, starts ticked
extern std::atomic<bool> g_button_pressed;  // install button drawn pressed

// The window's meter: created once at dialog initialisation, before any worker; null until then.
extern ProgressMeter* g_meter;

// Hit regions recorded by the idle paint (UI thread only).
extern HitRegion g_change_path_region;  // (330, 300, 80, 20) before the first idle paint
extern HitRegion g_agreement_region;    // (0, 0, 0, 0) before the first idle paint
extern HitRegion g_check_box_region;    // x 20, width 20, height 20 fixed; y recorded (0 before)
