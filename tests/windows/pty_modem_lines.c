/* Test harness for running the Windows program under Wine with COM ports mapped to
 * pseudo-terminals; loaded with LD_PRELOAD into Wine's server and programs, never shipped.
 *
 * A pseudo-terminal has no modem lines: it refuses TIOCMGET, TIOCMSET, TIOCMBIS and TIOCMBIC
 * ("Inappropriate ioctl for device"). Wine's wait for serial events reads the modem lines every
 * millisecond and gives up when that fails, so a program waiting for incoming data on such a
 * port is never told of any. This library answers those requests on pseudo-terminals as a
 * serial line with a device attached would: the lines the program sets (DTR, RTS) read back as
 * set, and the device's lines (CTS, DSR, CD) are on. Everything else, and every other device,
 * goes to the system unchanged; a terminal that has been hung up (its far end closed) still
 * fails as it would.
 *
 * Wine's server opens the devices for its programs, without O_NOCTTY: a pseudo-terminal opened
 * so becomes the server's controlling terminal, and closing its far end (a device that goes
 * away) would hang up the server's session. Here every open is made with O_NOCTTY: the server
 * opens devices through the links in Wine's prefix, so the path does not tell a terminal, and
 * the flag changes nothing for any other file.
 *
 * With VORNEL_PTY_ACCOUNT naming a file, the library also keeps account, in that file, of the
 * bytes this process read from pseudo-terminals and of those it discarded from their input
 * queues (tcflush): "read N discarded M", rewritten as they change. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

/* Unix98 pseudo-terminal slaves (/dev/pts/N) have majors 136 to 143. */
static int is_pty_slave(int fd) {
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
           major(st.st_rdev) <= 143;
}

/* The lines the program drives, per descriptor; all start on, as after a serial open. */
enum { kTracked = 4096 };
static int driven[kTracked];
static unsigned char known[kTracked];

static int *driven_lines(int fd) {
    if (fd < 0 || fd >= kTracked) {
        return NULL;
    }
    if (!known[fd]) {
        known[fd] = 1;
        driven[fd] = TIOCM_DTR | TIOCM_RTS;
    }
    return &driven[fd];
}

typedef int (*ioctl_fn)(int, unsigned long, ...);

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn real_ioctl;
    if (real_ioctl == NULL) {
        real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    }
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);

    const int result = real_ioctl(fd, request, arg);
    if (result == 0 || errno != ENOTTY ||
        (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS &&
         request != TIOCMBIC) ||
        arg == NULL || !is_pty_slave(fd)) {
        return result;
    }
    int *lines = driven_lines(fd);
    if (lines == NULL) {
        return result;
    }
    const int wanted = *(const int *)arg & (TIOCM_DTR | TIOCM_RTS);
    switch (request) {
    case TIOCMGET:
        *(int *)arg = *lines | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        break;
    case TIOCMSET:
        *lines = wanted;
        break;
    case TIOCMBIS:
        *lines |= wanted;
        break;
    case TIOCMBIC:
        *lines &= ~wanted;
        break;
    }
    errno = 0;
    return 0;
}

typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);

static mode_t mode_of(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
}

#define VORNEL_OPEN(name)                                                                   \
    int name(const char *path, int flags, ...) {                                            \
        static open_fn real;                                                                \
        if (real == NULL) {                                                                 \
            real = (open_fn)dlsym(RTLD_NEXT, #name);                                        \
        }                                                                                   \
        va_list args;                                                                       \
        va_start(args, flags);                                                              \
        const mode_t mode = mode_of(flags, args);                                           \
        va_end(args);                                                                       \
        return real(path, flags | O_NOCTTY, mode);                 \
    }

#define VORNEL_OPENAT(name)                                                                 \
    int name(int dir, const char *path, int flags, ...) {                                   \
        static openat_fn real;                                                              \
        if (real == NULL) {                                                                 \
            real = (openat_fn)dlsym(RTLD_NEXT, #name);                                      \
        }                                                                                   \
        va_list args;                                                                       \
        va_start(args, flags);                                                              \
        const mode_t mode = mode_of(flags, args);                                           \
        va_end(args);                                                                       \
        return real(dir, path, flags | O_NOCTTY, mode);            \
    }

VORNEL_OPEN(open)
VORNEL_OPEN(open64)
VORNEL_OPENAT(openat)
VORNEL_OPENAT(openat64)

/* The byte account. */
static long long bytes_read;
static long long bytes_discarded;

static void write_account(void) {
    static int fd = -2;
    if (fd == -2) {
        const char *path = getenv("VORNEL_PTY_ACCOUNT");
        fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    }
    if (fd < 0) {
        return;
    }
    char line[64];
    const int length =
        snprintf(line, sizeof line, "read %lld discarded %lld\n", bytes_read, bytes_discarded);
    if (length > 0 && pwrite(fd, line, (size_t)length, 0) == length) {
        ftruncate(fd, length);
    }
}

typedef ssize_t (*read_fn)(int, void *, size_t);
typedef int (*tcflush_fn)(int, int);

ssize_t read(int fd, void *buffer, size_t count) {
    static read_fn real;
    if (real == NULL) {
        real = (read_fn)dlsym(RTLD_NEXT, "read");
    }
    const ssize_t result = real(fd, buffer, count);
    if (result > 0 && getenv("VORNEL_PTY_ACCOUNT") != NULL && is_pty_slave(fd)) {
        const int saved = errno;
        bytes_read += result;
        write_account();
        errno = saved;
    }
    return result;
}

int tcflush(int fd, int queue) {
    static tcflush_fn real;
    if (real == NULL) {
        real = (tcflush_fn)dlsym(RTLD_NEXT, "tcflush");
    }
    int queued = 0;
    const int count = (queue == TCIFLUSH || queue == TCIOFLUSH) &&
                      getenv("VORNEL_PTY_ACCOUNT") != NULL && is_pty_slave(fd) &&
                      ioctl(fd, FIONREAD, &queued) == 0 && queued > 0;
    const int result = real(fd, queue);
    if (count && result == 0) {
        const int saved = errno;
        bytes_discarded += queued;
        write_account();
        errno = saved;
    }
    return result;
}
