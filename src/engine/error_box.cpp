#include "engine/error_box.h"

#include <allegro5/allegro_native_dialog.h>

#include <cstdarg>

#include "engine/console.h"
#include "engine/format.h"
#include "engine/guard.h"
#include "engine/x_errors.h"

void show_error_box(const char* title, const char* heading, const char* text, const char* line_format, ...) {
    va_list args;
    va_start(args, line_format);
    const std::string line = format_args(line_format, args);
    va_end(args);
    // First, so the reason is on record while the box waits, or if it cannot show.
    console_error("%s", line.c_str());
    // Nothing is left to finish while the box waits: a termination signal
    // ends the process then, instead of waiting for the user.
    signals_end_at_once(true);
    // An empty heading stands for "none": this library aborts on a null one.
    al_show_native_message_box(nullptr, title, heading, text, nullptr, ALLEGRO_MESSAGEBOX_ERROR);
    signals_end_at_once(false);
    // The toolkit behind the box puts in X error handlers of its own.
    x_errors_reclaim();
}
