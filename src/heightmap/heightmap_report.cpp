// Tells the user why the height image cannot be shown: the "error" box, and
// the reason on standard error.

#include <sys/stat.h>

#include <string>

#include "heightmap/heightmap.h"
#include "heightmap/shipped_files.h"
#include "heightmap/shrink_advice.h"
#include "engine/error_box.h"
#include "engine/zeb.h"

namespace {

// For a height image that is not there at all: where the sample lies and
// how to view it; "" when the sample is not found either.
std::string sample_hint(const char* path) {
    struct stat info;
    if (lstat(path, &info) == 0) return "";
    const std::string sample = sample_heightmap_path(), program = program_path();
    if (sample.empty() || program.empty()) return "";
    return ". The sample height image is " + sample + "; to view it: cd " +
           shell_word(sample.substr(0, sample.rfind('/'))) + " && " + shell_word(program);
}

}  // namespace

void report_heightmap_problem(const char* path, const HeightmapProblem& problem) {
    std::string text = problem.reason;
    if (problem.fits_side > 0) text += shrink_advice(path, problem.header, problem.fits_side, shrink_tools_here());
    // The first failure, not its symptom.
    if (const char* step = platform_stopped_at(); problem.no_image_addon && step)
        text = std::string("start-up stopped when al_") + step + "() failed, so the image add-on was not started";
    const char* reason = text.c_str();
    if (problem.refused)
        show_error_box("error", "", reason, "terrain-viewer: %s", reason);
    else
        show_error_box("error", "lol", "lol", "terrain-viewer: cannot load the height image %s: %s%s", path, reason,
                       sample_hint(path).c_str());
}
