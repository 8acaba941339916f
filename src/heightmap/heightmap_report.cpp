// Tells the user why the height image cannot be shown: the "error" box, and
// the reason on standard error.

#include "heightmap/heightmap.h"
#include "engine/error_box.h"
#include "engine/zeb.h"

#include <string>

void report_heightmap_problem(const char* path, const HeightmapProblem& problem) {
    std::string text = problem.reason;
    // The first failure, not its symptom.
    if (const char* step = platform_stopped_at(); problem.no_image_addon && step)
        text = std::string("start-up stopped when al_") + step + "() failed, so the image add-on was not started";
    const char* reason = text.c_str();
    if (problem.refused)
        show_error_box("error", "", reason, "terrain-viewer: %s", reason);
    else
        show_error_box("error", "lol", "lol", "terrain-viewer: cannot load the height image %s: %s", path, reason);
}
