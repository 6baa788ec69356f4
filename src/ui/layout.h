// The window's layout: every position and size that the paint, the hit regions and the dialog use, in client pixels.
#pragma once
#include "ui/ui_state.h"

// The client area: one 600 x 400 picture, whatever font the dialog template's units meet.
constexpr int WINDOW_WIDTH = 600;
constexpr int WINDOW_HEIGHT = 400;

// Fixed boxes, drawn at their top-left corner and hit over their whole region.
constexpr HitRegion INSTALL_BUTTON_REGION{460, 326, 113, 42};  // the caption is centred in it too
constexpr HitRegion CLOSE_BOX_REGION{565, 10, 18, 18};
constexpr HitRegion MINIMISE_BOX_REGION{535, 10, 18, 18};
// The agreement box: x, width and height fixed; the idle paint records y as it draws.
constexpr HitRegion CHECK_BOX_REGION{20, 348, 20, 20};

// Text lines, by their top-left corner: the directory line (the progress text in its place while installing)
// and the agreement sentence right of the box.
constexpr int DIR_LINE_X = 25;
constexpr int DIR_LINE_Y = 328;
constexpr int AGREEMENT_X = 41;
constexpr int AGREEMENT_Y = 353;
// The change-path label follows the directory line after this gap; its region ends at least this far left of
// the install button, whose region is tested first (a label drawn under the button could not be clicked).
constexpr int CHANGE_PATH_GAP = 10;
constexpr int CHANGE_PATH_BUTTON_GAP = 10;

// The progress bar: x, y, width and height of its track.
constexpr HitRegion PROGRESS_BAR_BOX{20, 350, 553, 21};
// What a new progress position repaints: the window's width from the percentage line (on the directory line's
// place) to the bar's bottom edge; nothing else on the progress screen changes with the position.
constexpr HitRegion PROGRESS_AREA{0, DIR_LINE_Y, WINDOW_WIDTH,
                                  PROGRESS_BAR_BOX.y + PROGRESS_BAR_BOX.height - DIR_LINE_Y};

// The change-path region before the first idle paint.
constexpr HitRegion FIRST_CHANGE_PATH_REGION{330, 300, 80, 20};
