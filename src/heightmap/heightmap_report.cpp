// Tells the user why the height image cannot be shown: the "error" box, and
// the reason on standard error.

#include "heightmap/heightmap.h"
#include "engine/error_box.h"

void report_heightmap_problem(const char* path, const HeightmapProblem& problem) {
    const char* reason = problem.reason.c_str();
    if (problem.refused)
        show_error_box("error", "", reason, "terrain-viewer: %s", reason);
    else
        show_error_box("error", "lol", "lol", "terrain-viewer: cannot load the height image %s: %s", path, reason);
}
