// The terrain mesh in the renderer's own memory: the list of vertices is cut
// into pieces, and each piece is copied into a vertex buffer the first time a
// frame draws from it, a few a frame, as long as the route's allowance
// lasts. Vertices of pieces not copied (yet, or ever) are drawn from the mesh
// in system memory, in the same order: the picture is the same either way.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "terrain/draw_route.h"
#include "terrain/terrain_mesh.h"

// Cells a piece holds (56.6 MB): a copy on first sight costs a frame a few
// tens of milliseconds, and a run crossing a piece's end one more call.
constexpr size_t PIECE_CELLS = size_t(1) << 18;
// The most pieces one frame copies: a turn that brings much of a large
// terrain into view fills the buffers over several frames, not one long one.
constexpr size_t PIECE_COPIES_A_FRAME = 2;
// The library counts a buffer's bytes in an int.
static_assert(PIECE_CELLS * VERTICES_PER_CELL * sizeof(TerrainVertex) < size_t(INT_MAX));

class MeshBuffers {
public:
    // Buffers for `vertices` (which must outlive them unchanged), holding as
    // much of the mesh as choose_draw_route(`facts`) allows (`facts.mesh_bytes`
    // is taken from `vertices`); pieces of `piece_cells` cells, at most
    // `copies_a_frame` copied a frame. Makes no buffer yet.
    MeshBuffers(const TerrainVertices& vertices, DrawRouteFacts facts, size_t piece_cells = PIECE_CELLS,
                size_t copies_a_frame = PIECE_COPIES_A_FRAME);
    ~MeshBuffers();  // frees the buffers: the display must still be there
    MeshBuffers(const MeshBuffers&) = delete;
    MeshBuffers& operator=(const MeshBuffers&) = delete;

    // A new frame: it may copy `copies_a_frame` pieces again.
    void start_frame();
    // Draws vertices `first` to `first + count - 1` of the mesh as triangles in
    // list order: from buffers where their piece is (or now gets) copied, from
    // memory elsewhere.
    void draw(size_t first, size_t count);
    // Copies every piece the allowance takes, at once; the pieces held after.
    size_t copy_all();

    const TerrainVertices& vertices() const { return vertices_; }
    size_t pieces() const { return buffers_.size(); }  // the mesh's, copied or not
    size_t pieces_held() const { return held_pieces_; }
    uint64_t bytes_held() const { return held_bytes_; }
    uint64_t allowance() const { return allowance_; }  // bytes the buffers may hold
    const char* reason() const { return reason_; }     // why the allowance is what it is

private:
    // Whether `piece` is in a buffer now, copying it if the frame and the
    // allowance let it.
    bool held(size_t piece);
    size_t piece_vertices(size_t piece) const;

    const TerrainVertices& vertices_;
    DrawRouteFacts facts_;
    uint64_t allowance_;
    const char* reason_;
    size_t piece_vertices_, copies_a_frame_, copies_this_frame_ = 0;
    size_t held_pieces_ = 0;
    uint64_t held_bytes_ = 0;
    std::vector<ALLEGRO_VERTEX_BUFFER*> buffers_;  // one a piece; null until copied
};
