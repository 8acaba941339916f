#include "viewer_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "hostile_bmp.h"
#include "test_clock.h"

ViewerRun::ViewerRun() : log_(folder_.file("probe.log")) {}

bool ViewerRun::put_heightmap(const Picture& picture, BmpLayout layout) {
    return !write_bmp(folder_, "hmap.bmp", picture, layout).empty();
}

bool ViewerRun::put_hostile_heightmap(const std::string& name) {
    const HostileImage* image = hostile_image(name);
    return image && image->make(folder_.file("hmap.bmp"));
}

void ViewerRun::start(const ViewerOptions& options) {
    ChildOptions child;
    if (options.line_buffered) child.argv = {"/usr/bin/stdbuf", "-oL"};
    if (!options.limit.empty()) child.argv.insert(child.argv.end(), {"/usr/bin/prlimit", options.limit});
    child.argv.push_back(options.viewer);
    child.argv.insert(child.argv.end(), options.arguments.begin(), options.arguments.end());
    child.cwd = folder_.path();
    child.terminal = options.terminal;
    child.stdout_path = options.stdout_path;
    child.nonblocking_stdout = options.nonblocking_stdout;
    child.closed_fds = options.closed_fds;
    // After whatever the test run preloads already (scripts/sanitize.sh does).
    const char* preloaded = getenv("LD_PRELOAD");
    const std::string preload = preloaded && *preloaded ? std::string(preloaded) + ":" + PROBE_PATH : PROBE_PATH;
    child.set_env = {{"LD_PRELOAD", preload}, {"ZEB_PROBE_LOG", log_}, {"ALSOFT_DRIVERS", "null"}};
    if (!options.fail_step.empty()) child.set_env.push_back({"ZEB_PROBE_FAIL", options.fail_step});
    if (options.frame_delay_ms > 0)
        child.set_env.push_back({"ZEB_PROBE_FRAME_DELAY_MS", std::to_string(options.frame_delay_ms)});
    if (!options.x_display) child.unset_env.push_back("DISPLAY");
    if (!options.display.empty()) child.set_env.push_back({"DISPLAY", options.display});
    for (const auto& [name, value] : options.environment) {
        for (auto set = child.set_env.begin(); set != child.set_env.end();)
            set = set->first == name ? child.set_env.erase(set) : set + 1;
        if (value.empty())
            child.unset_env.push_back(name);
        else
            child.set_env.push_back({name, value});
    }
    child_ = std::make_unique<Child>(child);
}

std::string ViewerRun::window() { return wait_for_window("^terrain-viewer$", 10); }

bool ViewerRun::wait_for_frames(size_t count, double seconds) {
    return child_->wait_for_output([count](const std::string& out) { return angle_lines(out).size() >= count; },
                                   seconds);
}

bool ViewerRun::press_escape(double seconds) {
    std::string w = window();
    if (w.empty()) return false;
    // Held down until the exit, so a slow frame cannot miss it.
    press_key(w, "Escape");
    bool ended = child_->wait_exit(seconds);
    release_key("Escape");
    return ended;
}

Angles ViewerRun::latest_angles() {
    child_->drain();
    std::vector<Angles> angles = all_angles(child_->out());
    return angles.empty() ? Angles{-1, -1} : angles.back();
}

bool ViewerRun::turn_until(const std::string& window, int x, int y, const std::function<bool(Angles)>& done) {
    for (int i = 0; i < 200; i++) {
        move_pointer_in(window, x, y);
        usleep(50000);
        if (done(latest_angles())) return true;
    }
    return false;
}

bool ViewerRun::wait_for_frame_after_lost_output(double seconds) {
    wait_until([&] { child_->drain();
        return !probe_lines("frame").empty() || !child_->running(); }, seconds);
    return !probe_lines("frame").empty();
}

std::vector<std::string> ViewerRun::probe_lines(const std::string& kind) const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, kind.size() + 1, kind + " ") == 0) lines.push_back(line.substr(kind.size() + 1));
    return lines;
}

std::vector<std::string> ViewerRun::steps() const { return probe_lines("step"); }
std::vector<std::string> ViewerRun::boxes() const { return probe_lines("box"); }

std::vector<std::string> angle_lines(const std::string& out) {
    std::vector<std::string> result;
    // Complete lines only: the last one may still be on its way.
    for (const auto& line : lines_of(out.substr(0, out.rfind('\n') + 1)))
        if (line.compare(0, 4, "yaw=") == 0) result.push_back(line);
    return result;
}

bool parse_angles(const std::string& line, Angles& angles) {
    char tail;
    return sscanf(line.c_str(), "yaw=%d, pitch=%d%c", &angles.yaw, &angles.pitch, &tail) == 2;
}

std::vector<Angles> all_angles(const std::string& out) {
    std::vector<Angles> result;
    for (const auto& line : angle_lines(out)) {
        Angles a;
        if (parse_angles(line, a)) result.push_back(a);
    }
    return result;
}

void expect_failed_cleanly(const Child& child) {
    EXPECT_TRUE(child.exited_normally()) << "ended by signal " << child.signal() << "; stderr: " << child.err();
    EXPECT_EQ(child.exit_code(), 1) << child.err();
}

Picture small_terrain() {
    std::vector<uint8_t> levels;
    for (int i = 0; i < 28; i++) levels.push_back(uint8_t(100 + i * 5));
    return grey_picture(7, 4, levels);
}
