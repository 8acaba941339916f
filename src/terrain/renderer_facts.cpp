#include "terrain/renderer_facts.h"

#include <allegro5/allegro.h>
#include <allegro5/allegro_opengl.h>

#include <cstdlib>

#include "engine/console.h"

#ifndef GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX
#define GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX 0x9049
#endif
#ifndef GL_VBO_FREE_MEMORY_ATI
#define GL_VBO_FREE_MEMORY_ATI 0x87FB
#endif

namespace {

bool opengl_display() {
    ALLEGRO_DISPLAY* current = al_get_current_display();
    return current && (al_get_display_flags(current) & ALLEGRO_OPENGL);
}

}  // namespace

std::string renderer_name() {
    if (!opengl_display()) return "";
    const GLubyte* name = glGetString(GL_RENDERER);
    return name ? reinterpret_cast<const char*>(name) : "";
}

int64_t free_video_bytes() {
    if (!opengl_display()) return -1;
    // Both count in KiB; AMD's first figure is the free total of the pool
    // vertex buffers come from.
    GLint kib[4] = {-1, -1, -1, -1};
    if (al_have_opengl_extension("GL_NVX_gpu_memory_info"))
        glGetIntegerv(GL_GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX, kib);
    else if (al_have_opengl_extension("GL_ATI_meminfo"))
        glGetIntegerv(GL_VBO_FREE_MEMORY_ATI, kib);
    return kib[0] >= 0 ? int64_t(kib[0]) * 1024 : -1;
}

DrawRouteChoice draw_route(uint64_t mesh_bytes) {
    DrawRouteFacts facts;
    const char* value = getenv(DRAW_ROUTE_VARIABLE);
    facts.setting = draw_route_setting(value);
    if (facts.setting == DrawRouteSetting::UNKNOWN)
        console_error("terrain-viewer: %s=%s is none of auto, memory, buffers; the renderer decides the route",
                      DRAW_ROUTE_VARIABLE, value);
    facts.renderer = renderer_name();
    facts.free_video_bytes = free_video_bytes();
    facts.mesh_bytes = mesh_bytes;
    const DrawRouteChoice choice = choose_draw_route(facts);
    if (facts.setting == DrawRouteSetting::BUFFERS && choice.buffer_bytes < mesh_bytes)
        console_error("terrain-viewer: %s=buffers: %llu of %llu bytes of the mesh can go into vertex buffers (%s); "
                      "the rest is drawn from memory",
                      DRAW_ROUTE_VARIABLE, (unsigned long long)choice.buffer_bytes, (unsigned long long)mesh_bytes,
                      choice.reason);
    return choice;
}
