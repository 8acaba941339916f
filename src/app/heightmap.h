// The height image: a grey picture whose pixel values are terrain heights.
#pragma once

#include <allegro5/allegro.h>

constexpr const char* HEIGHTMAP_FILE = "hmap.bmp";  // looked for in the working directory

// The loaded height image; null until main loads it. Never destroyed by the
// viewer: the library frees it when the process ends.
extern ALLEGRO_BITMAP* heightmap;

// A few words on why `path` did not load as an image: missing, a folder, no
// image add-on, or contents the loader rejected.
const char* image_load_problem(const char* path);
