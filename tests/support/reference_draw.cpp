#include "reference_draw.h"

void draw_whole_mesh(const TerrainVertices& vertices, size_t max_bytes) {
    draw_vertices(vertices.data(), vertices.size(), max_bytes);
}
