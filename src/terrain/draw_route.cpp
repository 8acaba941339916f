#include "terrain/draw_route.h"

#include <algorithm>
#include <cctype>
#include <cstring>

DrawRouteSetting draw_route_setting(const char* value) {
    if (!value || !*value || strcmp(value, "auto") == 0) return DrawRouteSetting::AUTOMATIC;
    if (strcmp(value, "memory") == 0) return DrawRouteSetting::MEMORY;
    if (strcmp(value, "buffers") == 0) return DrawRouteSetting::BUFFERS;
    return DrawRouteSetting::UNKNOWN;
}

bool software_renderer(const std::string& renderer) {
    std::string name = renderer;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    // Mesa's three, and its classic swrast's "Software Rasterizer".
    for (const char* word : {"llvmpipe", "softpipe", "swrast", "software"})
        if (name.find(word) != std::string::npos) return true;
    return false;
}

DrawRouteChoice choose_draw_route(const DrawRouteFacts& facts) {
    const bool forced = facts.setting == DrawRouteSetting::BUFFERS;
    if (facts.setting == DrawRouteSetting::MEMORY) return {0, "the memory route was asked for"};
    if (facts.mesh_bytes == 0) return {0, "the mesh is empty"};
    if (!forced) {
        if (facts.renderer.empty()) return {0, "the renderer is unknown"};
        if (software_renderer(facts.renderer)) return {0, "a software renderer"};
        if (facts.free_video_bytes < 0) return {0, "the driver does not tell its free video memory"};
    }
    if (facts.free_video_bytes < 0) return {facts.mesh_bytes, "the buffer route was asked for"};
    const uint64_t free_bytes = uint64_t(facts.free_video_bytes);
    const uint64_t margin = std::max(VIDEO_MEMORY_MARGIN_BYTES, free_bytes / 10 * VIDEO_MEMORY_MARGIN_TENTHS);
    const uint64_t room = free_bytes > margin ? free_bytes - margin : 0;
    if (room == 0) return {0, "no free video memory beyond the margin"};
    if (room < facts.mesh_bytes) return {room, "the video memory holds part of the mesh"};
    return {facts.mesh_bytes, "the video memory holds the mesh"};
}
