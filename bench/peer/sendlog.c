// Notes the time each frame goes to a write socket, for the peer bench.
// zelto-drive does not say when its drive starts, and a step leaves no
// sooner than its "at" from that start: so the start is at most each frame's
// send time less its "at". Loaded into zelto-drive with LD_PRELOAD; at exit
// it writes the file PEER_BENCH_SENDS names, one line per send(2): the
// CLOCK_MONOTONIC seconds before the call, and the bytes in hex.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

enum { kMostSends = 16384, kMostBytes = 20 };

static struct {
    struct timespec when;
    size_t length;
    unsigned char bytes[kMostBytes];
} sends[kMostSends];
static size_t count;

ssize_t send(int fd, const void* buffer, size_t length, int flags) {
    static ssize_t (*real)(int, const void*, size_t, int);
    if (!real) real = (ssize_t (*)(int, const void*, size_t, int))dlsym(RTLD_NEXT, "send");
    if (count < kMostSends && length <= kMostBytes) {
        clock_gettime(CLOCK_MONOTONIC, &sends[count].when);
        sends[count].length = length;
        memcpy(sends[count].bytes, buffer, length);
        ++count;
    }
    return real(fd, buffer, length, flags);
}

__attribute__((destructor)) static void writeSends(void) {
    const char* path = getenv("PEER_BENCH_SENDS");
    FILE* out = path ? fopen(path, "w") : NULL;
    if (!out) return;
    for (size_t i = 0; i < count; ++i) {
        fprintf(out, "%lld.%09ld ", (long long)sends[i].when.tv_sec, sends[i].when.tv_nsec);
        for (size_t j = 0; j < sends[i].length; ++j) fprintf(out, "%02x", sends[i].bytes[j]);
        fputc('\n', out);
    }
    fclose(out);
}
