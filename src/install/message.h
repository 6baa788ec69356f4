// The installation's word to the user: a modal box with one OK button.
#pragma once
#include <cstddef>

struct HWND__;  // the Windows window handle

// Shows text and returns once the user has dismissed it: through the window seam's message function when the
// window has set one (a box owned by the window), otherwise show_message_box without an owner.
void show_message(const wchar_t* text);

// The box itself: text, one OK button and the exclamation icon, the application title as caption, owned by
// owner (null: no owner). Returns once dismissed. The window's message function shows its boxes with this.
void show_message_box(HWND__* owner, const wchar_t* text);

// Shows text with Retry and Cancel and returns true for Retry, once the user has answered: through the window
// seam's ask_retry when the window has set one, otherwise ask_retry_box without an owner.
bool ask_retry(const wchar_t* text);

// The box itself: text, Retry and Cancel, the exclamation icon, the application title as caption, owned by
// owner (null: no owner). True for Retry; closing the box counts as Cancel.
bool ask_retry_box(HWND__* owner, const wchar_t* text);

// The application title: the file name of the executable at path without its extension, cut to cap - 1
// units. cap must be at least 1.
void app_title_from_path(const wchar_t* path, wchar_t* out, size_t cap);
