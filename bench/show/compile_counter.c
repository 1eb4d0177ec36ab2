/* Counts the code Mesa's llvmpipe compiles while the show runs, a measure
 * that, unlike frame times, does not depend on what else the machine does.
 * Preloaded into invitation-capture (LD_PRELOAD): every LLVM module llvmpipe
 * creates is one compiled shader, vertex or set-up variant, and the buffer
 * swaps so far tell which frame it belongs to. Writes to the file named by
 * INVITATION_COMPILE_LOG one line per compile, "compile SWAPS NAME", and at
 * exit "swaps TOTAL". For the frame_costs.py benchmark only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static int swaps;
static FILE* log_file;

static FILE* compile_log(void)
{
    if (!log_file) {
        const char* path = getenv("INVITATION_COMPILE_LOG");
        log_file = path ? fopen(path, "w") : NULL;
        if (!log_file)
            log_file = stderr;
    }
    return log_file;
}

void* LLVMModuleCreateWithNameInContext(const char* name, void* context)
{
    static void* (*real)(const char*, void*);
    if (!real)
        *(void**)&real = dlsym(RTLD_NEXT, "LLVMModuleCreateWithNameInContext");
    fprintf(compile_log(), "compile %d %s\n", swaps, name);
    return real(name, context);
}

unsigned eglSwapBuffers(void* display, void* surface)
{
    static unsigned (*real)(void*, void*);
    if (!real)
        *(void**)&real = dlsym(RTLD_NEXT, "eglSwapBuffers");
    ++swaps;
    return real(display, surface);
}

__attribute__((destructor)) static void write_total(void)
{
    fprintf(compile_log(), "swaps %d\n", swaps);
    fflush(log_file);
}
