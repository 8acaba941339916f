// Hostile height images, for the tests and the measuring script: files whose
// header lies about their size, that stop short, that are huge for real, or
// that are no file at all.
#pragma once

#include <string>
#include <vector>

struct HostileImage {
    const char* name;  // the case's name in tests and reports
    const char* what;  // one line for people
    bool (*make)(const std::string& path);  // creates it at `path`; false if it could not
};

// Every case, in the order of the report.
const std::vector<HostileImage>& hostile_images();

// The case called `name`; null if there is none.
const HostileImage* hostile_image(const std::string& name);
