// Files that come with the viewer, found from where the running program
// lies: in a checkout its build folder (build/) stands beside data/ and
// scripts/; once installed, PREFIX/bin stands beside PREFIX/share.
#pragma once

#include <string>

// The running program's absolute path; "" when it cannot be told.
std::string program_path();

// The sample height image's absolute path, the checkout's before the
// installed one; "" when neither is there.
std::string sample_heightmap_path();

// The elevation recipe dem_to_hmap.sh the same way: scripts/ in a checkout,
// the documents' examples once installed; "" when neither is there.
std::string recipe_path();

// `text` as one word for the shell: as it is when it holds nothing the shell
// reads specially, else in single quotes.
std::string shell_word(const std::string& text);
