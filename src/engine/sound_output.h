// The audio add-on's sound output. The library tries a PulseAudio server
// first and waits on it without a bound; with no output at all it fails,
// and OpenAL, its last driver, reads its own choice of output only once.
#pragma once

// Seconds a sound server has to answer.
constexpr int SOUND_ANSWER_SECONDS = 4;

// Starts the audio add-on (al_install_audio, called once) on a sound output
// that answers within SOUND_ANSWER_SECONDS, else on OpenAL's silent output,
// saying on standard error which server did not answer. False only when even
// the silent output cannot start.
bool start_sound_output();
