// How every failure the user must see is shown: one line on standard error,
// then a native error box.
#pragma once

// Writes the formatted line to standard error (console_error), then shows the
// box with `title`, `heading` ("" for none) and `text`, the error icon and no
// parent window; blocks until the box is closed. Works without the dialog
// add-on and even without the library.
void show_error_box(const char* title, const char* heading, const char* text, const char* line_format, ...)
    __attribute__((format(printf, 4, 5)));
