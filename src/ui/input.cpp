// Press and release against the window's regions.
#include "ui/input.h"

#include "install/install_state.h"
#include "install/window_seam.h"

bool point_in_rect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t px, int32_t py) {
    return x <= px && px <= x + width && y <= py && py <= y + height;
}

bool point_in_region(const HitRegion& r, int32_t px, int32_t py) {
    return point_in_rect(r.x, r.y, r.width, r.height, px, py);
}

void on_press(int32_t px, int32_t py) {
    if (!point_in_region(INSTALL_BUTTON_REGION, px, py)) return;
    g_button_pressed = true;
    invalidate_window();
}

void on_release(int32_t px, int32_t py, const InputActions& actions) {
    if (g_button_pressed) {
        g_button_pressed = false;
        invalidate_window();
    }
    const bool installing = g_installing;

    if (point_in_region(INSTALL_BUTTON_REGION, px, py)) {
        if (!g_agreed || installing) return;
        // The flag is set before the worker exists, so a second click can never start another.
        g_installing = true;
        invalidate_window();
        if (!actions.start_install(actions.context)) {
            g_installing = false;
            invalidate_window();
        }
    } else if (point_in_region(g_change_path_region, px, py)) {
        // Refused while installing: the worker must finish in the folder it began with.
        if (installing) return;
        wchar_t* chosen = actions.browse(actions.context);
        if (!chosen) return;
        g_install_dir = chosen;  // the old string stays valid: it may still be read elsewhere
        invalidate_window();
    } else if (point_in_region(g_agreement_region, px, py)) {
        actions.open_agreement(actions.context);
    } else if (point_in_region(CLOSE_BOX_REGION, px, py)) {
        if (!installing) actions.close(actions.context);
    } else if (point_in_region(MINIMISE_BOX_REGION, px, py)) {
        actions.minimise(actions.context);
    } else if (point_in_region(g_check_box_region, px, py)) {
        if (installing) return;
        g_agreed = !g_agreed;
        invalidate_window();
    }
}
