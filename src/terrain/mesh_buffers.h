// The terrain mesh in the renderer's own memory: a vertex buffer for each
// piece its BufferPieces hold, made the first time a frame draws from the
// piece and the pieces let it be copied. Vertices of pieces not copied (yet,
// or ever) are drawn from the mesh in system memory, in the same order: the
// picture is the same either way.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <cstddef>
#include <vector>

#include "terrain/buffer_pieces.h"
#include "terrain/terrain_mesh.h"

class MeshBuffers {
public:
    // Buffers for `vertices` as `pieces` (cut for them) decide; both must
    // outlive the buffers, the vertices unchanged. Makes no buffer yet.
    MeshBuffers(const TerrainVertices& vertices, BufferPieces& pieces);
    ~MeshBuffers();  // frees the buffers: the display must still be there
    MeshBuffers(const MeshBuffers&) = delete;
    MeshBuffers& operator=(const MeshBuffers&) = delete;

    // A new frame: it may copy pieces again.
    void start_frame() { pieces_.start_frame(); }
    // Draws vertices `first` to `first + count - 1` of the mesh as triangles in
    // list order: from buffers where their piece is (or now gets) copied, from
    // memory elsewhere.
    void draw(size_t first, size_t count);

private:
    // Whether `piece` is in a buffer now, copying it if the pieces let it.
    bool held(size_t piece);

    const TerrainVertices& vertices_;
    BufferPieces& pieces_;
    std::vector<ALLEGRO_VERTEX_BUFFER*> buffers_;  // one a piece; null until copied
};
