#include "engine/sound_output.h"

#include <AL/alc.h>
#include <allegro5/allegro_audio.h>
#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
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
    const pid_t child = fork();
    if (child < 0) return Answer::absent;
    if (child == 0) {
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

// OpenAL's null output: plays to no one, and always starts. The library's
// own drivers that came first (PulseAudio when it hangs) are skipped.
void choose_silent_output(bool skip_earlier_drivers) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    if (skip_earlier_drivers) al_set_config_value(al_get_system_config(), "audio", "driver", "openal");
}

}  // namespace

bool start_sound_output() {
    if (al_is_audio_installed()) return al_install_audio();
    std::string server;
    const Answer pulse = ask_pulse_server(server);
    if (pulse == Answer::silent) {
        console_error("terrain-viewer: the sound server %s did not answer within %d s, so the viewer plays no sound",
                      server.c_str(), SOUND_ANSWER_SECONDS);
        choose_silent_output(true);
    } else if (pulse == Answer::absent) {
        const Answer openal = ask_openal();
        if (openal == Answer::silent)
            console_error("terrain-viewer: the sound output (OpenAL) did not answer within %d s, so the viewer "
                          "plays no sound",
                          SOUND_ANSWER_SECONDS);
        if (openal != Answer::answered) choose_silent_output(openal == Answer::silent);
    }
    return al_install_audio();
}
