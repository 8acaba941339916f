#include "app/heightmap.h"

#include <allegro5/allegro_image.h>
#include <sys/stat.h>

#include <cerrno>

ALLEGRO_BITMAP* heightmap = nullptr;

const char* image_load_problem(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0)
        return errno == ENOENT ? "no such file in the working directory" : "the file cannot be reached";
    if (S_ISDIR(info.st_mode)) return "it is a folder, not an image";
    if (!al_is_image_addon_initialized()) return "the image add-on is not running";
    return "not an image the library can read (unreadable, empty, truncated or corrupt)";
}
