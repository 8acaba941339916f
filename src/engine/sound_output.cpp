#include "engine/sound_output.h"

#include <AL/alc.h>
#include <allegro5/allegro_audio.h>
#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "engine/console.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Answer { answered, absent, silent };

// Asks the PulseAudio server the library would use (PULSE_SERVER, the
// client's configuration, the user's own socket) to connect, as the
// library's driver does first; `server` names it when it did not answer.
Answer ask_pulse_server(std::string& server) {
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "terrain-viewer");
    Answer answer = Answer::absent;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(SOUND_ANSWER_SECONDS);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) answer = Answer::answered;
            if (!PA_CONTEXT_IS_GOOD(state) || state == PA_CONTEXT_READY) break;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                const char* name = pa_context_get_server(context);
                server = name ? name : "(PulseAudio)";
                answer = Answer::silent;
                break;
            }
            // Waits at most until the deadline for the server's next word.
            if (pa_mainloop_prepare(loop, int(left)) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context) pa_context_unref(context);
    pa_mainloop_free(loop);
    return answer;
}

// Whether OpenAL, as it stands configured, opens an output within the bound.
// Tried in a child process: OpenAL picks its output once per process, so a
// failed try here would leave the library no way to the silent one.
Answer ask_openal() {
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) return Answer::absent;
    if (child == 0) {
        // Ended with the viewer, should the viewer end first (a termination
        // signal while it waits), so a hung try is never left behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        // Its complaints (no ALSA device, ...) are no news to the user.
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) dup2(quiet, STDERR_FILENO);
        _exit(alcOpenDevice(nullptr) ? 0 : 1);
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(SOUND_ANSWER_SECONDS);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Answer::answered : Answer::absent;
        if (done < 0) return Answer::absent;
        if (Clock::now() >= deadline) break;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return Answer::silent;
}

// The choice, made before the library starts, taken up when the audio
// add-on does.
std::string unanswered;        // what did not answer and why the viewer is silent, or ""
bool skip_earlier_drivers = false;  // the library's own drivers before OpenAL (PulseAudio) hang

// OpenAL's null output: plays to no one, and always starts. Set while no
// other thread reads the environment.
void choose_silent_output(bool skip_earlier) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    skip_earlier_drivers = skip_earlier;
}

}  // namespace

void choose_sound_output() {
    std::string server;
    const Answer pulse = ask_pulse_server(server);
    if (pulse == Answer::silent) {
        unanswered = "the sound server " + server + " did not answer within " + std::to_string(SOUND_ANSWER_SECONDS) +
                     " s, so the viewer plays no sound";
        choose_silent_output(true);
    } else if (pulse == Answer::absent) {
        const Answer openal = ask_openal();
        if (openal == Answer::silent)
            unanswered = "the sound output (OpenAL) did not answer within " + std::to_string(SOUND_ANSWER_SECONDS) +
                         " s, so the viewer plays no sound";
        if (openal != Answer::answered) choose_silent_output(openal == Answer::silent);
    }
}

bool start_sound_output() {
    if (!al_is_audio_installed()) {
        if (!unanswered.empty()) console_error("terrain-viewer: %s", unanswered.c_str());
        if (skip_earlier_drivers) al_set_config_value(al_get_system_config(), "audio", "driver", "openal");
    }
    return al_install_audio();
}
