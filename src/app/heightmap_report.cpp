// Tells the user why the height image cannot be shown: the "error" box, and
// the same reason on standard error.

#include <allegro5/allegro_native_dialog.h>

#include "app/heightmap.h"
#include "engine/console.h"

void report_heightmap_problem(const char* path, const HeightmapProblem& problem) {
    if (problem.refused) {
        console_error("terrain-viewer: %s", problem.reason.c_str());
        // An empty heading stands for "none": this library aborts on a null one.
        al_show_native_message_box(nullptr, "error", "", problem.reason.c_str(), nullptr, ALLEGRO_MESSAGEBOX_ERROR);
    } else {
        al_show_native_message_box(nullptr, "error", "lol", "lol", nullptr, ALLEGRO_MESSAGEBOX_ERROR);
        console_error("terrain-viewer: cannot load the height image %s: %s", path, problem.reason.c_str());
    }
}
