// How an X server answers the start of a connection: asked without a key,
// read whole (the 8-byte header and the length it announces) within a bound
// of time, so a server that hangs or speaks another protocol is found out
// before Xlib, which would wait on it for ever, connects.
#pragma once

#include <string>

enum class XAnswer {
    accepted,     // a well-formed acceptance
    refused,      // a well-formed refusal (the server wants a key, say)
    silent,       // not one byte within the bound
    partial,      // part of an answer, then nothing more within the bound
    not_x,        // bytes no X server sends
    closed,       // the connection closed before one byte came
    cut_off,      // the connection closed part way through the answer
    unreachable,  // no address of the name takes a connection
    unknown,      // a name of a form not asked here (DECnet, a path)
};

// Asks the X server `name` (":0", "unix:0", "host:10.0") within `seconds`.
// With `kept` given and the answer `accepted`, the connection stays open and
// its socket is put there (close it); otherwise it is closed.
XAnswer ask_x_server(const std::string& name, int seconds, int* kept = nullptr);

// What the server did, after "the X display NAME (from DISPLAY) ": "did not
// answer within 4 s", "answered, but not as an X server", "answers", ...; ""
// for a name of an unknown form.
std::string x_answer_text(XAnswer answer, int seconds);
