// The commands a refusal prints for the user to paste: each keeps the
// refused file under a name of its own before it writes a new one in its
// place, so no file is ever overwritten or removed, however often it runs.
#pragma once

#include <string>

// A name for keeping the file at `path` that is free now: `path` without its
// extension, then `suffix` ("-large", or ""), then "." and `extension`; with
// -2, -3, ... before the dot while that is taken.
std::string free_kept_name(const std::string& path, const std::string& suffix, const std::string& extension);

// `path` as one word for the shell that no command takes for an option.
std::string path_word(const std::string& path);

// A command that moves the file at `path` to `kept` and then runs `make`,
// which writes a new file at `path`. Where `kept` is taken by then, nothing
// is moved and `make` does not run.
std::string keep_then(const std::string& path, const std::string& kept, const std::string& make);
