// The audio add-on's sound output. The library tries a PulseAudio server
// first and waits on it without a bound; with no output at all it fails,
// and OpenAL, its last driver, reads its own choice of output only once.
#pragma once

// Seconds a sound server has to answer.
constexpr int SOUND_ANSWER_SECONDS = 4;

// Chooses a sound output that answers within SOUND_ANSWER_SECONDS, else
// OpenAL's silent output. Call once, before the library starts and while the
// process has no other thread: OpenAL is tried in a child process, which is
// safe only then.
void choose_sound_output();

// Starts the audio add-on (al_install_audio) on the chosen output, first
// saying on standard error which server did not answer, if one did not.
// False only when even the silent output cannot start.
bool start_sound_output();
