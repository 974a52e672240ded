/* Waits until a pixel of the X screen shows one of the given colours, polling every
 * millisecond, and prints when it did as Unix time in microseconds; so that a script can time
 * what it started against what the screen shows. With "io" it also watches the kernel's disk
 * statistics and prints, second, when any block device first completed a transfer after the
 * watch began (0 if none did before the pixel changed), so that a script can tell its own disk
 * burst from other work on the machine.
 *
 *   pixelwatch X Y RRGGBB[,RRGGBB...] TIMEOUT-MS [io]
 *   exit 0 seen, 1 not within the time, 2 usage */
#define _DEFAULT_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

static long long Now(void) {
    struct timeval now;
    gettimeofday(&now, NULL);
    return now.tv_sec * 1000000LL + now.tv_usec;
}

/* Reads and writes completed by all block devices together. */
static unsigned long long Transfers(void) {
    unsigned long long total = 0, reads, writes;
    char line[512];
    FILE* stats = fopen("/proc/diskstats", "r");
    if (stats == NULL) return 0;
    while (fgets(line, sizeof line, stats))
        if (sscanf(line, "%*u %*u %*s %llu %*u %*u %*u %llu", &reads, &writes) == 2) total += reads + writes;
    fclose(stats);
    return total;
}

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && strcmp(argv[5], "io") == 0)) {
        fputs("usage: pixelwatch X Y RRGGBB[,RRGGBB...] TIMEOUT-MS [io]\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) return 2;
    int x = atoi(argv[1]), y = atoi(argv[2]);
    unsigned long colours[8];
    int count = 0;
    for (char* item = strtok(argv[3], ","); item != NULL && count < 8; item = strtok(NULL, ","))
        colours[count++] = strtoul(item, NULL, 16);
    const int io = argc == 6;
    const unsigned long long transfers = io ? Transfers() : 0;
    long long firstTransfer = 0;
    long long deadline = Now() + atoll(argv[4]) * 1000LL;
    Window root = DefaultRootWindow(display);
    for (;;) {
        if (io && firstTransfer == 0 && Transfers() != transfers) firstTransfer = Now();
        XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
        unsigned long pixel = image ? XGetPixel(image, 0, 0) & 0xFFFFFF : 0;
        if (image) XDestroyImage(image);
        for (int i = 0; i < count; ++i) {
            if (pixel != colours[i]) continue;
            if (io)
                printf("%lld %lld\n", Now(), firstTransfer);
            else
                printf("%lld\n", Now());
            return 0;
        }
        if (Now() > deadline) return 1;
        usleep(1000);
    }
}
