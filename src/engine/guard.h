// How the viewer meets a hostile environment: a reader that closes the pipe
// early, a file-size limit, a lost X display, an X error, exhausted memory.
// None of them ends it with a signal.
#pragma once

#include <cstdint>

// Call first thing in main, before the library starts: a closed pipe or a
// file-size limit makes writes fail instead of killing the process (the
// console notes the loss and the run goes on); an X error, a lost X display
// or an allocation that fails ends the run with a line on standard error and
// status 1 (fatal_exit). Threads share one malloc arena, so the address
// space stays close to what is used, and the error boxes load no OpenGL.
void guard_process();
