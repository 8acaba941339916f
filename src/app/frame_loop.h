// The frame loop: draws the terrain through the camera, turns the camera with
// the mouse, echoes its angles, ends on Escape or after FRAME_LIMIT frames.
#pragma once

#include <cstddef>
#include <vector>

#include "terrain/mesh_buffers.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"
#include "camera/camera.h"

constexpr long FRAME_LIMIT = 190000;  // the most frames a run shows
constexpr double START_FOV = 150.0;   // degrees

// What the loop needs that is not running (the display, keyboard, mouse or
// drawing add-on), in a few words; null when it can run.
const char* frame_loop_missing();

// Whether the run is to end: Escape down when the input was last polled, the
// close button, or a termination signal (guard.h). Asked before each frame and
// while the mesh builds.
bool run_end_requested();

// Sets the camera up and runs frames of the mesh, whose bounds are `blocks`,
// until Escape, the close button, a termination signal (guard.h) or
// `frame_limit` frames; needs what frame_loop_missing checks. Vertices come
// from `buffers` where they hold them, from memory elsewhere (everywhere when
// null). Returns the number of frames shown.
long run_frame_loop(Camera& camera, const TerrainVertices& vertices, const CellBlocks& blocks,
                    long frame_limit = FRAME_LIMIT, MeshBuffers* buffers = nullptr);

// The run's frames of the mesh, from a fresh camera: run_frame_loop, with the
// vertices copied into buffers piece by piece as they come into view where a
// graphics card has room (the draw route) and the memory lasts.
void show_terrain(const TerrainVertices& vertices, const CellBlocks& blocks);
