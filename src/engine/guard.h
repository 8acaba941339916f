// How the viewer meets a hostile environment: a reader that closes the pipe
// early, a file-size limit, a lost X display, an X error, exhausted memory
// each end it with a line and a status, never by a signal; a termination
// signal ends the run at its next frame or step, and then by that signal.
#pragma once

// Call first thing in main, before the library starts: a closed pipe or a
// file-size limit makes writes fail instead of killing the process (the
// console notes the loss and the run goes on); an X error, a lost X display
// or an allocation that fails ends the run with a line on standard error and
// status 1 (fatal_exit). Threads share one malloc arena, so the address
// space stays close to what is used, and the error boxes load no OpenGL.
void guard_process();

// SIGINT, SIGTERM and SIGHUP (each unless ignored when the viewer started, as
// under nohup) ask the run to end as Escape does: the frame loop and the mesh
// build stop at their next frame or step, with whole lines, and end_of_run
// then ends the process by that signal, so the shell or supervisor sees it.
// A second one, or one while an error box waits, ends the process at once;
// so does the first, 3 s on, when the run has not ended by then (its main
// thread waiting on a frozen X server, say): standard output then ends on
// the last whole line written (console.h).
bool termination_requested();

// Flushes standard output (console_exit_status), then ends the process by the
// termination signal that asked the run to end, if one did; otherwise returns
// the exit status to end with.
int end_of_run(int status);

// While true (an error box waits for the user) a termination signal ends the
// process at once, and one that came before ends it now.
void signals_end_at_once(bool at_once);

