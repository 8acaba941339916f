// The frame's drawing of the terrain: the cells that may reach the window,
// found by their blocks, drawn in list order from vertex buffers where those
// hold them and from memory elsewhere. The picture is the same as the whole
// mesh's, pixel for pixel.
#pragma once

#include <allegro5/allegro.h>

#include <vector>

#include "terrain/mesh_buffers.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"

// Draws the cells of `runs` of the mesh `vertices` in order: from `buffers`
// where they hold them, from memory elsewhere (everywhere when null).
void draw_cell_runs(const std::vector<CellRun>& runs, const TerrainVertices& vertices,
                    MeshBuffers* buffers);

// A frame of `buffers` (null: none) drawing the cells of the mesh that may
// reach the window through `view` and `projection`, as draw_cell_runs does.
// `blocks` are the mesh's bounds; `runs` is room for the cells found.
void draw_visible_terrain(const TerrainVertices& vertices, MeshBuffers* buffers, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs);
