// Pointer input: the window's regions, tested in a fixed order on each press and release.
#pragma once
#include <cstdint>

#include "ui/layout.h"
#include "ui/ui_state.h"

// What a click can set going; the window supplies them, each handed context back.
struct InputActions {
    void* context;
    bool (*start_install)(void* context);   // starts the worker thread; false when it could not be started
    wchar_t* (*browse)(void* context);      // folder picker: a new heap string ending with a backslash, or null
    void (*open_agreement)(void* context);  // opens the agreement page
    void (*close)(void* context);           // the dialog's cancel operation
    void (*minimise)(void* context);        // asks the window to minimise
};

// x <= px <= x + width and y <= py <= y + height: both ends are inside.
bool point_in_rect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t px, int32_t py);
bool point_in_region(const HitRegion& r, int32_t px, int32_t py);

// A press on the install button draws it pressed; anywhere else nothing happens.
void on_press(int32_t px, int32_t py);

// A release redraws a pressed button normal, then the first region holding the point decides:
// install button, change path, agreement link, close box, minimise box, check box. Install, change path,
// close and the check box do nothing while an installation runs.
void on_release(int32_t px, int32_t py, const InputActions& actions);
