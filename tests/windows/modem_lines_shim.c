/* Test-only: preloaded into the Wine processes of the COM5 tests. A pseudo-terminal has no
 * modem lines, and Wine reads them while a WaitCommEvent is pending: without them every wait
 * ends at once. Terminals that lack the modem-line requests answer them here, all lines on. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real;
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    const int result = real(fd, request, argument);
    if (result == 0 || (errno != ENOTTY && errno != EINVAL) || !isatty(fd)) return result;
    switch (request) {
    case TIOCMGET:
        *(int *)argument = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
    default:
        return result;
    }
}
