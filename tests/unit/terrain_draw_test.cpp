#include "terrain/terrain_draw.h"
#include "terrain/draw_route.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

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
    EXPECT_LT(vertices_per_draw(MAX_DRAW_BYTES) * sizeof(TerrainVertex), MAX_DRAW_BYTES);
    EXPECT_GE((vertices_per_draw(MAX_DRAW_BYTES) + 6) * sizeof(TerrainVertex), MAX_DRAW_BYTES);
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
        bool failed;
        uint64_t buffer_bytes;
    } cases[] = {
        {S::AUTOMATIC, nvidia, int64_t(79 * GIB), mesh, false, mesh},
        {S::UNKNOWN, radeon, int64_t(20 * GIB), mesh, false, mesh},  // an unknown value decides as auto
        {S::AUTOMATIC, "llvmpipe (LLVM 15.0.6, 256 bits)", int64_t(79 * GIB), mesh, false, 0},
        {S::AUTOMATIC, "softpipe", int64_t(8 * GIB), mesh, false, 0},
        {S::AUTOMATIC, "Mesa DRI SWRAST", int64_t(8 * GIB), mesh, false, 0},
        {S::AUTOMATIC, "Software Rasterizer", int64_t(8 * GIB), mesh, false, 0},
        {S::AUTOMATIC, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", -1, mesh, false, 0},  // room unknown
        {S::AUTOMATIC, "", int64_t(79 * GIB), mesh, false, 0},                          // no renderer
        {S::AUTOMATIC, nvidia, int64_t(79 * GIB), mesh, true, 0},                       // a buffer failed
        {S::MEMORY, nvidia, int64_t(79 * GIB), mesh, false, 0},
        {S::AUTOMATIC, nvidia, int64_t(79 * GIB), 0, false, 0},  // nothing to hold
        // The margin: a tenth of the free memory, at least 512 MiB.
        {S::AUTOMATIC, nvidia, int64_t(mesh + 512 * MIB), mesh, false, mesh},
        {S::AUTOMATIC, nvidia, int64_t(mesh + 511 * MIB), mesh, false, mesh - MIB},
        {S::AUTOMATIC, nvidia, int64_t(40 * GIB), 40 * GIB, false, 36 * GIB},
        {S::AUTOMATIC, nvidia, int64_t(512 * MIB), mesh, false, 0},
        {S::AUTOMATIC, nvidia, 0, mesh, false, 0},
        // Asked for: whatever the renderer, within the room the driver tells.
        {S::BUFFERS, "llvmpipe (LLVM 15.0.6, 256 bits)", -1, mesh, false, mesh},
        {S::BUFFERS, "", -1, mesh, false, mesh},
        {S::BUFFERS, nvidia, int64_t(GIB), mesh, false, 512 * MIB},
        {S::BUFFERS, nvidia, int64_t(79 * GIB), mesh, true, 0},
    };
    for (const auto& c : cases) {
        DrawRouteFacts facts;
        facts.setting = c.setting, facts.renderer = c.renderer, facts.free_video_bytes = c.free_bytes;
        facts.mesh_bytes = c.mesh_bytes, facts.buffer_failed = c.failed;
        const DrawRouteChoice choice = choose_draw_route(facts);
        EXPECT_EQ(choice.buffer_bytes, c.buffer_bytes)
            << int(c.setting) << " '" << c.renderer << "' free " << c.free_bytes << " mesh " << c.mesh_bytes
            << (c.failed ? " failed" : "") << ": " << choice.reason;
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
