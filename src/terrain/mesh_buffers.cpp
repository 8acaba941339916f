#include "terrain/mesh_buffers.h"

#include <allegro5/allegro_opengl.h>

#include <algorithm>

#include "terrain/terrain_draw.h"

MeshBuffers::MeshBuffers(const TerrainVertices& vertices, DrawRouteFacts facts, size_t piece_cells,
                         size_t copies_a_frame)
    : vertices_(vertices), facts_(facts), piece_vertices_(std::max<size_t>(piece_cells, 1) * VERTICES_PER_CELL),
      copies_a_frame_(copies_a_frame) {
    facts_.mesh_bytes = uint64_t(vertices.size()) * sizeof(TerrainVertex);
    const DrawRouteChoice choice = choose_draw_route(facts_);
    allowance_ = choice.buffer_bytes, reason_ = choice.reason;
    if (allowance_ > 0) buffers_.assign((vertices.size() + piece_vertices_ - 1) / piece_vertices_, nullptr);
}

MeshBuffers::~MeshBuffers() {
    for (ALLEGRO_VERTEX_BUFFER* buffer : buffers_)
        if (buffer) al_destroy_vertex_buffer(buffer);
}

void MeshBuffers::start_frame() { copies_this_frame_ = 0; }

size_t MeshBuffers::piece_vertices(size_t piece) const {
    return std::min(piece_vertices_, vertices_.size() - piece * piece_vertices_);
}

bool MeshBuffers::held(size_t piece) {
    if (buffers_[piece]) return true;
    const uint64_t bytes = uint64_t(piece_vertices(piece)) * sizeof(TerrainVertex);
    if (copies_this_frame_ >= copies_a_frame_ || held_bytes_ + bytes > allowance_) return false;
    copies_this_frame_++;
    // The library reads any error left over as its own failure.
    while (glGetError() != GL_NO_ERROR) {
    }
    buffers_[piece] = al_create_vertex_buffer(nullptr, vertices_.data() + piece * piece_vertices_,
                                              int(piece_vertices(piece)), ALLEGRO_PRIM_BUFFER_STATIC);
    if (!buffers_[piece]) {
        // Out of room after all: what is held stays, the rest is drawn from memory.
        facts_.buffer_failed = true;
        const DrawRouteChoice choice = choose_draw_route(facts_);
        allowance_ = held_bytes_ + choice.buffer_bytes, reason_ = choice.reason;
        return false;
    }
    held_pieces_++;
    held_bytes_ += bytes;
    return true;
}

void MeshBuffers::draw(size_t first, size_t count) {
    if (buffers_.empty()) return draw_vertices(vertices_.data() + first, count);
    // Vertices waiting to be drawn from memory, joined into one call until a
    // buffer's turn comes.
    size_t waiting_first = first, waiting = 0;
    while (count > 0) {
        const size_t piece = first / piece_vertices_, in = first % piece_vertices_;
        const size_t take = std::min(count, piece_vertices(piece) - in);
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

size_t MeshBuffers::copy_all() {
    for (size_t piece = 0; piece < buffers_.size(); piece++) {
        start_frame();
        held(piece);
    }
    start_frame();
    return held_pieces_;
}
