// The sample height image's landscape: rolling hills with dark valleys, and a
// mound beside the starting point whose crest crosses the first view. The same
// landscape at any size, so larger terrains look like the sample, only wider.
#pragma once

#include <cstdint>

// The grey level of pixel (column, row), 0 to 255.
uint8_t sample_level(int column, int row);
