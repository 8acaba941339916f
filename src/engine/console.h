// Console output shared by the whole viewer: progress and angle lines go to
// standard output, failures to standard error, in the order they happened.
#pragma once

// printf to standard output; a format that does not end in a line end leaves
// the line open.
void console_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line to standard error (line end added). Standard output is flushed
// first, and when both streams reach the same place a line that standard
// output left open is ended first, so the message stands on its own line.
void console_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
