/* Preloaded into the tool by run_bench.py: adds up the time that the main
 * thread spends in fdatasync and fsync (the syncs that the committer thread
 * makes beside the walk cost the run no time of their own) and appends it,
 * in seconds, to the file that MORVALEN_SYNC_TIME names when the process
 * ends (GNU time, which starts the tool, appends its own 0). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double spent;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int timed(const char* name, int fd) {
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, name);
    if (gettid() != getpid()) return real(fd);
    double start = now();
    int result = real(fd);
    spent += now() - start;
    return result;
}

int fdatasync(int fd) { return timed("fdatasync", fd); }
int fsync(int fd) { return timed("fsync", fd); }

__attribute__((destructor)) static void report(void) {
    const char* path = getenv("MORVALEN_SYNC_TIME");
    FILE* out = path ? fopen(path, "a") : NULL;
    if (out) {
        fprintf(out, "%.6f\n", spent);
        fclose(out);
    }
}
