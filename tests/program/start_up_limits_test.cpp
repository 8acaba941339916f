// What start-up meets before the library starts a thread: too few threads
// allowed, a sound server or sound output that hangs. Each shows the terrain
// or ends with a line on standard error and status 1, never an abort or a
// hang.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "silent_socket.h"
#include "test_clock.h"
#include "viewer_run.h"

// Too few processes and threads allowed (ulimit -u, which counts all of a
// user's): the library would stop with an assertion, OpenAL or the renderer
// wait for ever. The viewer names the limit and ends before anything
// starts, or runs where the limit leaves room. Root is above the limit, so
// there the viewer runs as nobody.
struct ThreadLimitCase {
    int limit;
    bool room;  // enough for a run; only as nobody, who runs nothing else
};

void PrintTo(const ThreadLimitCase& c, std::ostream* os) { *os << c.limit; }

class ThreadLimit : public ::testing::TestWithParam<ThreadLimitCase> {};

TEST_P(ThreadLimit, IsNamedInALineNeverAnAbortOrAHang) {
    const ThreadLimitCase& c = GetParam();
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    ViewerOptions options;
    options.limit = "--nproc=" + std::to_string(c.limit);
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() == 0) {
        if (!nobody || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "root is above the limit, and no setpriv "
                                                                              "or no user nobody to run the viewer as";
        // Its own home, where the sound library keeps its settings.
        const std::string home = run.folder().file("home");
        ASSERT_EQ(mkdir(home.c_str(), 0), 0);
        ASSERT_EQ(chmod(home.c_str(), 0777), 0);
        ASSERT_EQ(chmod(run.folder().path().c_str(), 0755), 0);
        options.viewer = "/usr/bin/setpriv";
        options.arguments = {"--reuid=" + std::to_string(nobody->pw_uid), "--regid=" + std::to_string(nobody->pw_gid),
                             "--clear-groups", VIEWER_PATH};
        options.environment = {{"HOME", home}};
    } else if (c.room) {
        GTEST_SKIP() << "the limit counts every process of this user";
    }
    run.start(options);
    if (c.room) {
        ASSERT_TRUE(run.wait_for_frames(3, 30)) << run.child().err();
        ASSERT_TRUE(run.press_escape());
        EXPECT_EQ(run.child().exit_code(), 0);
        EXPECT_EQ(run.child().err(), "");
        return;
    }
    ASSERT_TRUE(run.child().wait_exit(30));
    expect_failed_cleanly(run.child());
    const std::string& err = run.child().err();
    const std::string start = "terrain-viewer: cannot start the ";
    EXPECT_EQ(err.compare(0, start.size(), start), 0) << err;
    EXPECT_NE(err.find("threads the viewer needs at once: the limit on this user's processes and threads (ulimit -u) "
                       "is " + std::to_string(c.limit) + "; raise it"),
              std::string::npos)
        << err;
    EXPECT_EQ(lines_of(err).size(), 1u) << err;
    EXPECT_EQ(run.child().out(), "");
}

// 1: the library's first thread fails; 3: OpenAL's; 5: the renderer's.
INSTANTIATE_TEST_SUITE_P(Viewer, ThreadLimit,
                         ::testing::Values(ThreadLimitCase{1, false}, ThreadLimitCase{3, false},
                                           ThreadLimitCase{5, false}, ThreadLimitCase{64, true}),
                         [](const auto& info) { return "nproc_" + std::to_string(info.param.limit); });

// No sound: a sound server that accepts and never answers, an OpenAL output
// whose opening hangs (a device that is a pipe nobody reads), or no server
// and no device (ALSA with none, OpenAL left to choose). The viewer shows the
// terrain with OpenAL's silent output, after a line when something hung.
struct SoundCase {
    const char* name;
    bool server_hangs, output_hangs;
    const char* line;        // on standard error; <server> stands for the hanging server
    bool signalled = false;  // SIGTERM while OpenAL's try hangs: the viewer ends by it, the try with it
};

// How many processes work in `folder` (a viewer, its try of OpenAL).
int processes_in(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "cwd", error) == folder) count++;
    }
    return count;
}

void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

class NoSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(NoSound, TheTerrainShowsWithoutSound) {
    const SoundCase& c = GetParam();
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    SilentSocket hanging(run.folder().file("pulse.socket"));
    ASSERT_TRUE(hanging.listening());
    const std::string server = "unix:" + run.folder().file(c.server_hangs ? "pulse.socket" : "none");
    std::ofstream(run.folder().file("asound.conf")).close();
    // Opening a pipe to write waits for a reader, for ever here.
    ASSERT_EQ(mkfifo(run.folder().file("dsp").c_str(), 0600), 0);
    std::ofstream(run.folder().file("alsoft.conf")) << "[oss]\ndevice = " << run.folder().file("dsp") << "\n";
    ViewerOptions options;
    options.environment = {{"PULSE_SERVER", server},
                           {"ALSOFT_DRIVERS", c.output_hangs ? "oss" : ""},
                           {"ALSOFT_CONF", run.folder().file("alsoft.conf")},
                           {"ALSA_CONFIG_PATH", run.folder().file("asound.conf")}};
    run.start(options);
    if (c.signalled) {
        ASSERT_TRUE(wait_until([&] { return processes_in(run.folder().path()) == 2; }, 10));
        run.child().send_signal(SIGTERM);
        ASSERT_TRUE(run.child().wait_exit(20));
        EXPECT_EQ(run.child().signal(), SIGTERM) << run.child().err();
        EXPECT_TRUE(wait_until([&] { return processes_in(run.folder().path()) == 0; }, 5)) << "OpenAL's try is left";
        return;
    }
    ASSERT_TRUE(run.wait_for_frames(3, 30)) << run.child().err();
    ASSERT_TRUE(run.press_escape());
    EXPECT_EQ(run.child().exit_code(), 0);
    std::string line = c.line;
    if (size_t at = line.find("<server>"); at != std::string::npos) line.replace(at, 8, server);
    EXPECT_EQ(run.child().err(), line);
    EXPECT_TRUE(run.boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, NoSound,
    ::testing::Values(SoundCase{"no_sound_device", false, false, ""},
                      SoundCase{"hanging_sound_server", true, false,
                                "terrain-viewer: the sound server <server> did not answer within 4 s, so the viewer "
                                "plays no sound\n"},
                      SoundCase{"hanging_sound_output", false, true,
                                "terrain-viewer: the sound output (OpenAL) did not answer within 4 s, so the viewer "
                                "plays no sound\n"},
                      SoundCase{"signal_while_sound_output_hangs", false, true, "", true}),
    [](const auto& info) { return std::string(info.param.name); });
