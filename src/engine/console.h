// Console output shared by the whole viewer: progress and angle lines go to
// standard output, failures to standard error, in the order they happened.
#pragma once

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// nothing opened later (the X connection) takes a standard stream's number,
// and makes writes to standard output wait while a non-blocking one is full,
// as they would on a blocking one. From then on standard output is written
// in whole lines, a pipe's PIPE_BUF bytes at most at a time; an unfinished
// line waits for its end, or for console_error or the end of the run, so a
// process ended at once by a signal leaves it ending on a whole line. Call
// before anything else opens a file or writes.
void console_open_standard_streams();

// printf to standard output; a format that does not end in a line end leaves
// the line open. After a write has failed (a closed pipe, a full disk)
// nothing more is written: console_exit_status says the output was lost.
void console_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line to standard error (line end added). Standard output is flushed
// first, and when both streams reach the same place a line that standard
// output left open is ended first, so the message stands on its own line.
void console_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The exit status to end with: `status`, unless output to standard output
// was lost (a full disk, say), which is then said on standard error and
// turns a success into 1. Flushes standard output.
int console_exit_status(int status);

// The last words of a run that ends on any thread (fatal_exit): flushes
// standard output only if no other thread keeps it (one stuck writing would
// hold the end up for good), then writes the formatted line (line end added)
// and any loss of output to standard error with write(2), allocating nothing.
// Returns the exit status as console_exit_status does.
int console_final_line(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));
