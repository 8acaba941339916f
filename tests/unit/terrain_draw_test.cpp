#include "terrain/draw_slices.h"
#include "terrain/buffer_pieces.h"
#include "terrain/draw_route.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

TEST(DrawSlices, WholeCellsBelowTheBoundAndAtLeastOne) {
    const size_t cell = 6 * sizeof(TerrainVertex);  // 216 bytes
    const struct {
        size_t max_bytes, vertices;
    } cases[] = {
        {MAX_DRAW_BYTES, 9942053 * 6},  // 2147483448 bytes; one cell more would reach 2^31
        {cell + 1, 6},
        {cell, 6},  // a cell never fits below its own size, yet one is drawn
        {0, 6},
        {10 * cell, 9 * 6},
        {10 * cell + 1, 10 * 6},
        {SIZE_MAX, INT_MAX / 6 * 6},  // a call counts its vertices in an int
    };
    for (const auto& c : cases) EXPECT_EQ(vertices_per_draw(c.max_bytes), c.vertices) << c.max_bytes;
}

TEST(DrawRoute, BuffersOnlyWhereAHardwareRendererHasRoom) {
    using S = DrawRouteSetting;
    const uint64_t MIB = uint64_t(1) << 20, GIB = MIB << 10, mesh = 2 * GIB;
    const std::string nvidia = "NVIDIA H100 80GB HBM3/PCIe/SSE2", radeon = "AMD Radeon RX 7900 XTX (radeonsi, navi31)";
    const struct {
        S setting;
        std::string renderer;
        int64_t free_bytes;
        uint64_t mesh_bytes;
        uint64_t buffer_bytes;
    } cases[] = {
        {S::AUTOMATIC, nvidia, int64_t(79 * GIB), mesh, mesh},
        {S::UNKNOWN, radeon, int64_t(20 * GIB), mesh, mesh},  // an unknown value decides as auto
        {S::AUTOMATIC, "llvmpipe (LLVM 15.0.6, 256 bits)", int64_t(79 * GIB), mesh, 0},
        {S::AUTOMATIC, "softpipe", int64_t(8 * GIB), mesh, 0},
        {S::AUTOMATIC, "Mesa DRI SWRAST", int64_t(8 * GIB), mesh, 0},
        {S::AUTOMATIC, "Software Rasterizer", int64_t(8 * GIB), mesh, 0},
        {S::AUTOMATIC, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", -1, mesh, 0},  // room unknown
        {S::AUTOMATIC, "", int64_t(79 * GIB), mesh, 0},                          // no renderer
        {S::MEMORY, nvidia, int64_t(79 * GIB), mesh, 0},
        {S::AUTOMATIC, nvidia, int64_t(79 * GIB), 0, 0},  // nothing to hold
        // The margin: a tenth of the free memory, at least 512 MiB.
        {S::AUTOMATIC, nvidia, int64_t(mesh + 512 * MIB), mesh, mesh},
        {S::AUTOMATIC, nvidia, int64_t(mesh + 511 * MIB), mesh, mesh - MIB},
        {S::AUTOMATIC, nvidia, int64_t(40 * GIB), 40 * GIB, 36 * GIB},
        {S::AUTOMATIC, nvidia, int64_t(512 * MIB), mesh, 0},
        {S::AUTOMATIC, nvidia, 0, mesh, 0},
        // Asked for: whatever the renderer, within the room the driver tells.
        {S::BUFFERS, "llvmpipe (LLVM 15.0.6, 256 bits)", -1, mesh, mesh},
        {S::BUFFERS, "", -1, mesh, mesh},
        {S::BUFFERS, nvidia, int64_t(GIB), mesh, 512 * MIB},
    };
    for (const auto& c : cases) {
        DrawRouteFacts facts;
        facts.setting = c.setting, facts.renderer = c.renderer, facts.free_video_bytes = c.free_bytes;
        facts.mesh_bytes = c.mesh_bytes;
        const DrawRouteChoice choice = choose_draw_route(facts);
        EXPECT_EQ(choice.buffer_bytes, c.buffer_bytes)
            << int(c.setting) << " '" << c.renderer << "' free " << c.free_bytes << " mesh " << c.mesh_bytes << ": "
            << choice.reason;
        EXPECT_TRUE(choice.reason && *choice.reason);
    }
    const struct {
        const char* value;
        S setting;
    } values[] = {{nullptr, S::AUTOMATIC}, {"", S::AUTOMATIC}, {"auto", S::AUTOMATIC}, {"memory", S::MEMORY},
                  {"buffers", S::BUFFERS}, {"Buffers", S::UNKNOWN}, {"vbo", S::UNKNOWN}, {"memory ", S::UNKNOWN}};
    for (const auto& v : values)
        EXPECT_EQ(draw_route_setting(v.value), v.setting) << (v.value ? v.value : "unset");
}

TEST(BufferPieces, HoldWhatTheAllowanceAndTheMemoryTakeAFewAFrame) {
    // Ten cells in pieces of three: 3, 3, 3 and 1 cells, the whole mesh drawn
    // every frame. Memory that can be spared shrinks by each copy's bytes and
    // a sixteenth, as under the software renderer.
    const uint64_t cell = VERTICES_PER_CELL * sizeof(TerrainVertex), copy3 = 3 * cell + 3 * cell / 16;
    constexpr size_t NONE = SIZE_MAX;
    const struct {
        const char* name;
        uint64_t allowance;
        size_t copies_a_frame;
        uint64_t memory;  // that can be spared before the first copy
        size_t refused;   // the piece whose buffer the renderer refuses
        const char* held;
        int frames;  // the frames that copy
    } cases[] = {
        {"a mesh within its allowance ends wholly in buffers", 10 * cell, 2, UINT64_MAX, NONE, "1111", 2},
        {"a piece a frame", 10 * cell, 1, UINT64_MAX, NONE, "1111", 4},
        {"a byte short: the last piece stays out", 10 * cell - 1, 9, UINT64_MAX, NONE, "1110", 1},
        {"room for 5 cells: the first piece, and the last, smaller one", 5 * cell, 2, UINT64_MAX, NONE, "1001", 1},
        {"no allowance: no pieces", 0, 2, UINT64_MAX, NONE, "", 0},
        {"memory for two copies: copying stops at the third", 10 * cell, 1, 2 * copy3, NONE, "1100", 2},
        {"memory for the bytes, not the copy", 10 * cell, 2, 3 * cell, NONE, "0000", 0},
        {"the second buffer refused: none after it", 10 * cell, 1, UINT64_MAX, 1, "1000", 1},
    };
    for (const auto& c : cases) {
        uint64_t memory = c.memory;
        size_t asked = 0;
        const auto spare = [&] { return asked++, memory; };
        BufferPieces pieces(10 * VERTICES_PER_CELL, c.allowance, spare, 3, c.copies_a_frame);
        int frames = 0;
        for (int frame = 1; frame <= 8; frame++) {
            pieces.start_frame();
            for (size_t piece = 0; piece < pieces.count(); piece++) {
                if (!pieces.may_copy(piece)) continue;
                if (piece == c.refused) {
                    pieces.stop();
                    continue;
                }
                pieces.copied(piece);
                memory -= pieces.vertices(piece) * sizeof(TerrainVertex) * 17 / 16;
                frames = frame;
            }
        }
        std::string held;
        size_t next = 0;
        for (size_t piece = 0; piece < pieces.count(); next += pieces.vertices(piece++)) {
            held += pieces.held(piece) ? '1' : '0';
            EXPECT_EQ(pieces.first_vertex(piece), next) << c.name;
            EXPECT_EQ(pieces.piece_of(next + pieces.vertices(piece) - 1), piece) << c.name;
        }
        EXPECT_EQ(next, pieces.count() ? 10u * VERTICES_PER_CELL : 0u) << c.name;
        EXPECT_EQ(held, c.held) << c.name;
        EXPECT_EQ(frames, c.frames) << c.name;
        // The budget reads files: asked once a copy, and once for the copy it refuses.
        EXPECT_LE(asked, size_t(std::count(held.begin(), held.end(), '1')) + 1) << c.name;
    }
}
