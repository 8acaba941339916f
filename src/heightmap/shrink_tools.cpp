#include "heightmap/shrink_tools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>

#include "engine/saturating.h"

extern char** environ;

namespace {

// Long enough for a slow disk's first start of convert, short enough that a
// refusal never seems to hang.
constexpr int ANSWER_SECONDS = 5;

// The channels ImageMagick keeps of a pixel: red, green, blue and opacity,
// and a colour index for a palette image.
constexpr uint64_t DIRECT_CHANNELS = 4, PALETTE_CHANNELS = 5;

// "16KP", "128MP", "256MiB", "11.7738MiB", "1000000B", "unlimited": pixel
// counts in powers of 1000, bytes in powers of 1024. Printed to six figures,
// so read a little low (by more than half the sixth figure): a limit is
// never taken for more than it is.
uint64_t read_amount(const std::string& text) {
    if (text == "unlimited") return UINT64_MAX;
    char* end = nullptr;
    const double number = strtod(text.c_str(), &end);
    if (end == text.c_str() || !(number >= 0)) return 0;
    const std::string unit = end;
    const bool binary = unit.size() >= 2 && unit[1] == 'i';
    const char* prefixes = "KMGTPE";
    double amount = number;
    if (!unit.empty() && strchr(prefixes, unit[0]))
        for (const char* p = prefixes; p <= strchr(prefixes, unit[0]); p++) amount *= binary ? 1024 : 1000;
    amount *= 1 - 1e-5;
    return amount >= 1.8e19 ? UINT64_MAX : uint64_t(amount);
}

// The shell's standard output for `script`, given at most `seconds`; what
// came by then, or "" when it could not start.
std::string shell_output(const char* script, int seconds, bool& started) {
    started = false;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return "";
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_init(&attributes);
    // A group of its own, to be ended whole if it overstays; and the signals
    // the viewer ignores back at their defaults for the tools.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script), nullptr};
    pid_t child = -1;
    const bool spawned = posix_spawn(&child, "/bin/sh", &files, &attributes, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    std::string text;
    if (spawned) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd ready = {out[0], POLLIN, 0};
            if (left.count() <= 0) break;
            // Read only what is there: a signal (Ctrl-C) must not leave it
            // waiting on a tool that never writes.
            const int polled = poll(&ready, 1, int(left.count()));
            if (polled < 0 && errno == EINTR) continue;
            if (polled <= 0) break;
            char chunk[4096];
            const ssize_t got = read(out[0], chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            text.append(chunk, size_t(got));
        }
        kill(-child, SIGKILL);  // done or overdue: nothing of it may stay
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        started = true;
    }
    close(out[0]);
    return text;
}

}  // namespace

ImageMagickPolicy read_imagemagick_policy(const std::string& text) {
    ImageMagickPolicy policy;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(':'), start = line.find_first_not_of(' ');
        if (colon == std::string::npos || start == std::string::npos) continue;
        const std::string name = line.substr(start, colon - start);
        const std::string value = line.substr(std::min(line.size(), line.find_first_not_of(' ', colon + 1)));
        if (name == "Version") {
            // "ImageMagick 6.9.11-60 Q16 x86_64", "ImageMagick 7.1.1-15 Q16-HDRI aarch64"
            const size_t q = value.find(" Q");
            const int depth = q == std::string::npos ? 0 : atoi(value.c_str() + q + 2);
            policy.sample_bytes = depth / 8;
            if (value.find("HDRI") != std::string::npos) policy.sample_bytes = std::max(policy.sample_bytes, 4);
        } else if (name == "Features" && value.find("HDRI") != std::string::npos) {
            policy.sample_bytes = std::max(policy.sample_bytes, 4);
        }
        uint64_t* limit = name == "Width"    ? &policy.width
                          : name == "Height" ? &policy.height
                          : name == "Area"   ? &policy.area
                          : name == "Memory" ? &policy.memory
                          : name == "Map"    ? &policy.map
                          : name == "Disk"   ? &policy.disk
                                             : nullptr;
        if (limit) *limit = read_amount(value);
    }
    return policy;
}

bool imagemagick_admits(const ImageMagickPolicy& policy, int64_t width, int64_t height, int64_t to_width,
                        int64_t to_height, bool palette) {
    if (policy.sample_bytes == 0) return false;  // not said: nothing is known to fit
    if (uint64_t(std::max(width, to_width)) > policy.width || uint64_t(std::max(height, to_height)) > policy.height)
        return false;
    // The images it holds at once, in the order it makes them, as
    // ImageMagick 6.9 was seen to (convert -debug cache): the file's, the
    // shrunk one, the one between (a pass over the rows or the columns);
    // for a palette image, each with an index, and then the last two again
    // without, each copy kept where its original is (on disk, if there).
    // The map only decides whether an image on disk is read through memory
    // mapping: none is refused for it.
    const uint64_t between = std::max(saturating_product(to_width, height), saturating_product(width, to_height));
    const uint64_t channels = palette ? PALETTE_CHANNELS : DIRECT_CHANNELS;
    const struct {
        uint64_t pixels, channels;
        int copy_of;  // -1: none
    } images[] = {{saturating_product(width, height), channels, -1},
                  {saturating_product(to_width, to_height), channels, -1},
                  {between, channels, -1},
                  {palette ? between : 0, DIRECT_CHANNELS, 2},
                  {palette ? saturating_product(to_width, to_height) : 0, DIRECT_CHANNELS, 1}};
    // A little kept back for what ImageMagick takes besides.
    uint64_t memory = policy.memory - policy.memory / 50, disk = policy.disk - policy.disk / 50;
    bool on_disk[std::size(images)] = {};
    for (size_t i = 0; i < std::size(images); i++) {
        const uint64_t pixels = images[i].pixels;
        if (pixels == 0) continue;
        const uint64_t bytes = saturating_product(pixels, images[i].channels * uint64_t(policy.sample_bytes));
        const bool may_be_in_memory = images[i].copy_of < 0 || !on_disk[images[i].copy_of];
        // A limit reached is a limit passed.
        if (may_be_in_memory && pixels < policy.area && bytes < memory) {
            memory -= bytes;
        } else if (bytes < disk) {
            disk -= bytes;
            on_disk[i] = true;
        } else {
            return false;
        }
    }
    return true;
}

ShrinkTools shrink_tools_here() {
    bool started = false;
    const std::string text = shell_output(
        "command -v gdal_translate >/dev/null 2>&1 && echo 'GDAL: gdal_translate'; "
        "convert -version && convert -list resource",
        ANSWER_SECONDS, started);
    ShrinkTools tools;
    tools.gdal = !started || text.find("GDAL: gdal_translate\n") != std::string::npos;
    tools.imagemagick = !started || text.find("Version: ImageMagick ") != std::string::npos;
    if (started && tools.imagemagick) tools.policy = read_imagemagick_policy(text);
    return tools;
}
