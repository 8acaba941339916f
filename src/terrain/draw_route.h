// Where the frame takes the terrain's vertices from: the mesh in system
// memory, sent to the renderer every frame, or copies of it kept in the
// renderer's own memory (vertex buffers). A graphics card draws the views
// that look down the rows several times faster from its own memory; a
// software renderer gains nothing and would only hold a second copy.
// The choice alone, from what the driver tells, so it needs no window.
#pragma once

#include <cstdint>
#include <string>

// The environment variable that picks the route, for tests and measurement.
constexpr const char* DRAW_ROUTE_VARIABLE = "TERRAIN_VIEWER_DRAW";

// What the variable asks for: unset or "auto" lets the renderer decide,
// "memory" keeps every vertex in system memory, "buffers" uses vertex buffers
// even on a software renderer; anything else is UNKNOWN (and decides as auto).
enum class DrawRouteSetting { AUTOMATIC, MEMORY, BUFFERS, UNKNOWN };
DrawRouteSetting draw_route_setting(const char* value);

// Video memory left free for the desktop and the driver's own needs: the
// larger of these two, in bytes.
constexpr uint64_t VIDEO_MEMORY_MARGIN_BYTES = uint64_t(512) << 20;
constexpr uint64_t VIDEO_MEMORY_MARGIN_TENTHS = 1;  // tenths of the free memory

// What the route depends on.
struct DrawRouteFacts {
    DrawRouteSetting setting = DrawRouteSetting::AUTOMATIC;
    std::string renderer;           // the driver's renderer name; empty when unknown
    int64_t free_video_bytes = -1;  // free video memory; -1 where the driver does not tell
    uint64_t mesh_bytes = 0;        // the whole mesh
};

struct DrawRouteChoice {
    uint64_t buffer_bytes;  // the most bytes of the mesh to keep in vertex buffers; 0 = memory only
    const char* reason;     // why, in a few words ("a software renderer")
};

// Whether `renderer` draws on the processor (Mesa's llvmpipe, softpipe, swrast).
bool software_renderer(const std::string& renderer);

// How much of the mesh goes into vertex buffers: all of it on a hardware
// renderer that says it has room beyond the margin, what fits where it has
// less, none on a software renderer or where the room is unknown. "buffers"
// overrides the renderer and the unknown room, never a known lack of room.
DrawRouteChoice choose_draw_route(const DrawRouteFacts& facts);
