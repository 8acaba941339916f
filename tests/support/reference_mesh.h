// The terrain mesh built the plain way: four al_get_pixel calls per cell, each
// locking the image for one pixel, a colour mapped per vertex and an array
// grown one vertex at a time. The yardstick the viewer's builder must match
// byte for byte, and the speed it is measured against.
#pragma once

#include <allegro5/allegro.h>

#include <vector>

#include "terrain/terrain_mesh.h"

// Appends the mesh of `image`; prints the progress lines when `progress`.
void build_reference_mesh(ALLEGRO_BITMAP* image, TerrainVertices& vertices, bool progress);
