// Preloaded into the viewer by the tests: logs each library start-up step,
// each native box and the first frame shown whole after standard output was
// lost to the file named by ZEB_PROBE_LOG, and makes the step named by
// ZEB_PROBE_FAIL ("init", "install_mouse", ...) fail without running it.
// With ZEB_PROBE_FAIL_MALLOC=BYTES, every malloc of at least BYTES fails as
// under a memory limit. With ZEB_PROBE_FRAME_DELAY_MS=N, each flip waits N ms
// first, as a frame of a large terrain does. With ZEB_PROBE_PIECE_DELAY_MS=N,
// each piece of the mesh build waits N ms first (the build faults each
// piece's pages in with one madvise), one piece at a time whatever the
// threads, so a build lasts as long on any machine, as on a far larger image. With
// ZEB_PROBE_FAIL_THREADS set, no thread whose code is the viewer's own can
// start once the library is up ("thread refused" in the log), as under a
// process limit that other programs reach after the viewer started.
// Everything else goes on to the real library.

#include <dlfcn.h>
#include <pthread.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct ALLEGRO_DISPLAY;

namespace {

void log_line(const char* format, const char* a, const char* b = "", const char* c = "", const char* d = "",
              int flags = 0) {
    const char* path = getenv("ZEB_PROBE_LOG");
    if (!path) return;
    if (FILE* log = fopen(path, "a")) {
        fprintf(log, format, a, b, c, d, flags);
        fclose(log);
    }
}

bool fails(const char* step) {
    const char* failing = getenv("ZEB_PROBE_FAIL");
    return failing && strcmp(failing, step) == 0;
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

long env_number(const char* name) {
    const char* value = getenv(name);
    return value ? atol(value) : 0;
}

// Whether `code` lies in the program itself rather than in a library: in
// the object that holds the program's entry point.
bool in_program(const void* code) {
    Dl_info program, holder;
    return dladdr(reinterpret_cast<void*>(getauxval(AT_ENTRY)), &program) && dladdr(code, &holder) &&
           holder.dli_fbase == program.dli_fbase;
}

}  // namespace

// glibc's own allocator, which this malloc stands in front of.
extern "C" void* __libc_malloc(size_t size);

extern "C" void* malloc(size_t size) {
    // Read once: getenv allocates nothing, but the environment may change later.
    static const long fail_from = env_number("ZEB_PROBE_FAIL_MALLOC");
    if (fail_from > 0 && size >= size_t(fail_from)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

// Whether the viewer has gone on to start the library.
static bool library_started = false;

extern "C" bool al_install_system(int version, int (*atexit_ptr)(void (*)(void))) {
    log_line("step %s\n", "init");
    library_started = true;
    if (fails("init")) return false;
    return real<bool (*)(int, int (*)(void (*)(void)))>("al_install_system")(version, atexit_ptr);
}

#define PROBED_STEP(step)                                       \
    extern "C" bool al_##step(void) {                           \
        log_line("step %s\n", #step);                           \
        if (fails(#step)) return false;                         \
        return real<bool (*)(void)>("al_" #step)();             \
    }

PROBED_STEP(install_keyboard)
PROBED_STEP(install_mouse)
PROBED_STEP(install_audio)
PROBED_STEP(init_acodec_addon)
PROBED_STEP(init_font_addon)
PROBED_STEP(init_image_addon)
PROBED_STEP(init_primitives_addon)
PROBED_STEP(init_ttf_addon)
PROBED_STEP(init_video_addon)

// "box <display>|<title>|<heading>|<text>|<buttons>|<flags>", null shown as (null).
extern "C" int al_show_native_message_box(ALLEGRO_DISPLAY* display, const char* title, const char* heading,
                                          const char* text, const char* buttons, int flags) {
    char head[512];
    snprintf(head, sizeof head, "box %s|%s", display ? "display" : "(null)", title ? title : "(null)");
    log_line("%s|%s|%s|%s|%d\n", head, heading ? heading : "(null)", text ? text : "(null)",
             buttons ? buttons : "(null)", flags);
    using Show = int (*)(ALLEGRO_DISPLAY*, const char*, const char*, const char*, const char*, int);
    return real<Show>("al_show_native_message_box")(display, title, heading, text, buttons, flags);
}

// "frame after lost output": a frame that began after a write to standard
// output had failed has been shown, so the run went on past the loss.
extern "C" void al_flip_display(void) {
    static const auto flip = real<void (*)(void)>("al_flip_display");
    static const long delay_ms = env_number("ZEB_PROBE_FRAME_DELAY_MS");
    static int lost_frames = 0;  // flips since the error was first seen
    if (lost_frames < 2 && ferror(stdout) && ++lost_frames == 2) log_line("frame %s\n", "after lost output");
    if (delay_ms > 0) usleep(useconds_t(delay_ms) * 1000);
    flip();
}

extern "C" int madvise(void* start, size_t length, int advice) {
    static const auto advise = real<int (*)(void*, size_t, int)>("madvise");
    static const long delay_ms = env_number("ZEB_PROBE_PIECE_DELAY_MS");
    if (advice == MADV_POPULATE_WRITE && delay_ms > 0) {
        static pthread_mutex_t one_at_a_time = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&one_at_a_time);
        usleep(useconds_t(delay_ms) * 1000);
        pthread_mutex_unlock(&one_at_a_time);
    }
    return advise(start, length, advice);
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*run)(void*),
                              void* argument) {
    static const auto create = real<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
        "pthread_create");
    if (getenv("ZEB_PROBE_FAIL_THREADS") && library_started && in_program(reinterpret_cast<const void*>(run))) {
        log_line("thread %s\n", "refused");
        return EAGAIN;
    }
    return create(thread, attributes, run, argument);
}
