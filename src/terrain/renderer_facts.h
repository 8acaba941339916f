// What the driver tells about the renderer the display draws with, and the
// terrain's draw route chosen from it.
#pragma once

#include <cstdint>
#include <string>

#include "terrain/draw_route.h"

// The renderer's name (GL_RENDERER, "llvmpipe (LLVM 15.0.6, 256 bits)");
// empty without a current OpenGL display.
std::string renderer_name();

// Free video memory in bytes as the driver says it (NVIDIA's
// GL_NVX_gpu_memory_info, AMD's GL_ATI_meminfo); -1 where it does not.
int64_t free_video_bytes();

// The route for a mesh of `mesh_bytes` on the current display, chosen by
// choose_draw_route from TERRAIN_VIEWER_DRAW and the two above. An unknown
// value of the variable, or a buffer route asked for that cannot hold the
// whole mesh, is said on standard error.
DrawRouteChoice draw_route(uint64_t mesh_bytes);
