#include "heightmap/advice_command.h"

#include <sys/stat.h>

#include "heightmap/shipped_files.h"

namespace {

// More than any folder holds of one image's kept copies.
constexpr int MOST_KEPT_NAMES = 1000;

}  // namespace

std::string free_kept_name(const std::string& path, const std::string& suffix, const std::string& extension) {
    const size_t dot = path.rfind('.'), slash = path.rfind('/');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? path.substr(0, dot)
                                 : path;
    std::string name = stem + suffix + "." + extension;
    struct stat info;
    // Taken by anything, a dangling link too; the last try is printed even
    // when taken, and its command then stops before it moves anything.
    for (int copy = 2; copy <= MOST_KEPT_NAMES && lstat(name.c_str(), &info) == 0; copy++)
        name = stem + suffix + "-" + std::to_string(copy) + "." + extension;
    return name;
}

std::string path_word(const std::string& path) { return shell_word(path.compare(0, 1, "-") == 0 ? "./" + path : path); }

std::string keep_then(const std::string& path, const std::string& kept, const std::string& make) {
    // mv -n never replaces `kept`, but skips in silence (or fails, by its
    // version) when it is taken: the test sees whether the file moved.
    const std::string name = path_word(path);
    return "mv -n " + name + " " + path_word(kept) + " && [ ! -e " + name + " ] && " + make;
}
