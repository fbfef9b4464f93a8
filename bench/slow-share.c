/* Makes every open and read wait 0.5 ms (VIDTAG_SHIM_US to change it), as a file on a LAN share
 * would: loaded with LD_PRELOAD in front of the C library. Only the calls a program makes
 * through the library's names are slowed; the library's own inner calls are not. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static long delay_us(void) {
    static long us = -1;
    if (us < 0) {
        const char* given = getenv("VIDTAG_SHIM_US");
        us = given != NULL ? atol(given) : 500;
    }
    return us;
}

static void wait_round_trip(void) {
    const long us = delay_us();
    struct timespec pause = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

#define NEXT(name) ((name##_fn)dlsym(RTLD_NEXT, #name))

typedef int (*open_fn)(const char*, int, ...);
typedef int (*open64_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef ssize_t (*read_fn)(int, void*, size_t);
typedef ssize_t (*pread_fn)(int, void*, size_t, off_t);
typedef ssize_t (*pread64_fn)(int, void*, size_t, off_t);

static mode_t mode_of(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(args, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    wait_round_trip();
    return NEXT(open)(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    wait_round_trip();
    return NEXT(open64)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    wait_round_trip();
    return NEXT(openat)(dir, path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t size) {
    wait_round_trip();
    return NEXT(read)(fd, buffer, size);
}

ssize_t pread(int fd, void* buffer, size_t size, off_t at) {
    wait_round_trip();
    return NEXT(pread)(fd, buffer, size, at);
}

ssize_t pread64(int fd, void* buffer, size_t size, off_t at) {
    wait_round_trip();
    return NEXT(pread64)(fd, buffer, size, at);
}
