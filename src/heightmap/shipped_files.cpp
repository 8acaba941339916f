#include "heightmap/shipped_files.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

// Where the installed files lie, relative to the installed program's folder
// (set by the build from the install directories).
#ifndef TERRAIN_DATADIR_FROM_BINDIR
#define TERRAIN_DATADIR_FROM_BINDIR "../share/terrain-viewer"
#endif
#ifndef TERRAIN_DOCDIR_FROM_BINDIR
#define TERRAIN_DOCDIR_FROM_BINDIR "../share/doc/terrain-viewer"
#endif

namespace {

// The first of the files, relative to the program's folder, that is a
// regular file, as an absolute path without "..".
std::string first_file(std::initializer_list<const char*> relative) {
    std::string folder = program_path();
    if (folder.empty()) return "";
    folder.erase(folder.rfind('/') + 1);
    for (const char* name : relative) {
        char real[PATH_MAX];
        struct stat info;
        if (realpath((folder + name).c_str(), real) && stat(real, &info) == 0 && S_ISREG(info.st_mode)) return real;
    }
    return "";
}

}  // namespace

std::string program_path() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    path[length] = '\0';
    return path;
}

std::string sample_heightmap_path() {
    return first_file({"../data/hmap.bmp", TERRAIN_DATADIR_FROM_BINDIR "/hmap.bmp"});
}

std::string recipe_path() {
    return first_file({"../scripts/dem_to_hmap.sh", TERRAIN_DOCDIR_FROM_BINDIR "/examples/dem_to_hmap.sh"});
}

std::string shell_word(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "/._-+,:=@%") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
