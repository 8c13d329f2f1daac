/* Preloaded into the emulated test executables that start programs (tests/support/emulated.cmake).
 *
 * QProcess starts a child with clone(CLONE_PIDFD) wherever waitid(P_PIDFD) is known to the
 * kernel. Under qemu-aarch64-static 7.2 the probe reaches the build machine's kernel, which
 * knows it, while the emulator refuses clone with CLONE_PIDFD (EINVAL): no process would start.
 * Answering the probe as a kernel without pidfds does (ENOSYS) makes QProcess fork instead, as
 * it does on older kernels. Nothing else is changed, and the programs started are not touched:
 * the variable that preloads this is removed before any of them starts.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/syscall.h>

enum { waitidOnPidfd = 3 }; /* P_PIDFD, which not every libc header names */

__attribute__((constructor)) static void leaveTheProgramsStartedAlone(void)
{
    unsetenv("LD_PRELOAD");
}

long syscall(long number, ...)
{
    long arguments[6];
    va_list list;
    va_start(list, number);
    for (int i = 0; i < 6; ++i) {
        arguments[i] = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_waitid && arguments[0] == waitidOnPidfd) {
        errno = ENOSYS;
        return -1;
    }
    static long (*next)(long, ...);
    if (!next) {
        *(void **)&next = dlsym(RTLD_NEXT, "syscall"); /* as POSIX has it for functions */
    }
    return next(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                arguments[5]);
}
