/* Test-only: preloaded into the Wine processes of the COM5 tests. Makes the port fail as a USB
 * serial driver does when its adapter is pulled out: while the file named by
 * TORVANE_PORT_FAULT_TRIGGER exists, every read, write and ioctl on the device behind
 * TORVANE_PORT_FAULT_DEVICE (the COM5 link) fails with EACCES, which Wine answers as
 * ERROR_ACCESS_DENIED (5). Without both variables it passes everything through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef ssize_t (*read_fn)(int, void *, size_t);
typedef ssize_t (*write_fn)(int, const void *, size_t);

/* The caller's errno is left alone unless the call is to fail. */
static int faulted(int fd) {
    const char *trigger = getenv("TORVANE_PORT_FAULT_TRIGGER");
    const char *device = getenv("TORVANE_PORT_FAULT_DEVICE");
    if (!trigger || !device) return 0;
    const int saved = errno;
    struct stat port, link;
    const int fault = access(trigger, F_OK) == 0 && fstat(fd, &port) == 0 && S_ISCHR(port.st_mode) &&
                      stat(device, &link) == 0 && port.st_rdev == link.st_rdev;
    errno = fault ? EACCES : saved;
    return fault;
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    if (faulted(fd)) return -1;
    return real(fd, request, argument);
}

ssize_t read(int fd, void *buffer, size_t count) {
    static read_fn real;
    if (!real) real = (read_fn)dlsym(RTLD_NEXT, "read");
    if (faulted(fd)) return -1;
    return real(fd, buffer, count);
}

ssize_t write(int fd, const void *buffer, size_t count) {
    static write_fn real;
    if (!real) real = (write_fn)dlsym(RTLD_NEXT, "write");
    if (faulted(fd)) return -1;
    return real(fd, buffer, count);
}
