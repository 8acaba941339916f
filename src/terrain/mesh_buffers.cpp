#include "terrain/mesh_buffers.h"

#include <allegro5/allegro_opengl.h>

#include <algorithm>

#include "terrain/draw_slices.h"

MeshBuffers::MeshBuffers(const TerrainVertices& vertices, BufferPieces& pieces)
    : vertices_(vertices), pieces_(pieces), buffers_(pieces.count(), nullptr) {}

MeshBuffers::~MeshBuffers() {
    for (ALLEGRO_VERTEX_BUFFER* buffer : buffers_)
        if (buffer) al_destroy_vertex_buffer(buffer);
}

bool MeshBuffers::held(size_t piece) {
    if (pieces_.held(piece)) return true;
    if (!pieces_.may_copy(piece)) return false;
    // The library reads any error left over as its own failure.
    while (glGetError() != GL_NO_ERROR) {
    }
    buffers_[piece] = al_create_vertex_buffer(nullptr, vertices_.data() + pieces_.first_vertex(piece),
                                              int(pieces_.vertices(piece)), ALLEGRO_PRIM_BUFFER_STATIC);
    if (!buffers_[piece]) {
        // Out of room after all: what is held stays, the rest is drawn from memory.
        pieces_.stop();
        return false;
    }
    pieces_.copied(piece);
    return true;
}

void MeshBuffers::draw(size_t first, size_t count) {
    if (buffers_.empty()) return draw_vertices(vertices_.data() + first, count);
    // Vertices waiting to be drawn from memory, joined into one call until a
    // buffer's turn comes.
    size_t waiting_first = first, waiting = 0;
    while (count > 0) {
        const size_t piece = pieces_.piece_of(first), in = first - pieces_.first_vertex(piece);
        const size_t take = std::min(count, pieces_.vertices(piece) - in);
        if (held(piece)) {
            if (waiting) draw_vertices(vertices_.data() + waiting_first, waiting), waiting = 0;
            al_draw_vertex_buffer(buffers_[piece], nullptr, int(in), int(in + take), ALLEGRO_PRIM_TRIANGLE_LIST);
        } else {
            if (!waiting) waiting_first = first;
            waiting += take;
        }
        first += take, count -= take;
    }
    if (waiting) draw_vertices(vertices_.data() + waiting_first, waiting);
}
