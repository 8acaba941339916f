#include "engine/error_box.h"

#include <allegro5/allegro_native_dialog.h>
#include <pthread.h>

#include <cstdarg>

#include "engine/console.h"
#include "engine/format.h"
#include "engine/guard.h"
#include "engine/x_errors.h"

namespace {

// The toolkit starts threads of its own for a box (its main loop, the session
// bus, the font matcher), each reserving a stack of the process's default
// size, 8 MiB. Under an address-space limit that is near its end (an image
// refused for it) one of them fails to start, and the toolkit stops the
// process with a trap. Its threads run shallow calls: a small stack does.
constexpr size_t BOX_THREAD_STACK_BYTES = size_t(1) << 20;

// Threads started while it lives get small stacks; later ones the default again.
class SmallThreadStacks {
public:
    SmallThreadStacks() {
        saved_ok_ = pthread_getattr_default_np(&saved_) == 0;
        pthread_attr_t small;
        if (!saved_ok_ || pthread_getattr_default_np(&small) != 0) return;
        size_t size = 0;
        if (pthread_attr_getstacksize(&small, &size) == 0 && size > BOX_THREAD_STACK_BYTES &&
            pthread_attr_setstacksize(&small, BOX_THREAD_STACK_BYTES) == 0)
            changed_ = pthread_setattr_default_np(&small) == 0;
        pthread_attr_destroy(&small);
    }
    ~SmallThreadStacks() {
        if (changed_) pthread_setattr_default_np(&saved_);
        if (saved_ok_) pthread_attr_destroy(&saved_);
    }
    SmallThreadStacks(const SmallThreadStacks&) = delete;
    SmallThreadStacks& operator=(const SmallThreadStacks&) = delete;

private:
    pthread_attr_t saved_;
    bool saved_ok_ = false, changed_ = false;
};

}  // namespace

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
    const SmallThreadStacks small_stacks;
    al_show_native_message_box(nullptr, title, heading, text, nullptr, ALLEGRO_MESSAGEBOX_ERROR);
    signals_end_at_once(false);
    // The toolkit behind the box puts in X error handlers of its own.
    x_errors_reclaim();
}
