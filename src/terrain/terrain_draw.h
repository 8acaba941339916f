// Drawing the terrain mesh: the whole of it, or only the cells that can reach
// the window, sliced so no single draw call spans more than the renderer can
// address. Either way the picture is the same, pixel for pixel.
#pragma once

#include <allegro5/allegro.h>

#include <cstddef>
#include <vector>

#include "terrain/mesh_buffers.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"

// The most bytes of vertices one draw call may span: the software renderer
// addresses them by signed 32-bit byte offsets, which wrap past this (and crash).
constexpr size_t MAX_DRAW_BYTES = size_t(1) << 31;

// Vertices one draw call takes: as many whole cells as stay below
// `max_bytes`, and at least one cell.
size_t vertices_per_draw(size_t max_bytes);

// Draws `count` vertices from `first` as triangles in list order, in as few
// calls as `max_bytes` a call allows; the picture is the same as one call's.
void draw_vertices(const TerrainVertex* first, size_t count, size_t max_bytes = MAX_DRAW_BYTES);

// Draws the whole mesh: every cell, whether it reaches the window or not.
void draw_terrain(const TerrainVertices& vertices, size_t max_bytes = MAX_DRAW_BYTES);

// Draws the cells of the mesh that may reach the window through `view` and
// `projection`, in list order: the same picture as draw_terrain, pixel for
// pixel. `blocks` are the mesh's bounds; `runs` is room for the cells found,
// joined across gaps of `bridge` cells.
void draw_visible_terrain(const TerrainVertices& vertices, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs, size_t bridge = RUN_BRIDGE_CELLS);

// The same, with the vertices taken from `buffers` (a frame of theirs) where
// they hold them; null draws from memory as above.
void draw_visible_terrain(MeshBuffers* buffers, const TerrainVertices& vertices, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs, size_t bridge = RUN_BRIDGE_CELLS);
