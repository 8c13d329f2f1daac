// A second holder of a parallel port, for the kernel tests: opens the device, optionally asks
// for exclusive access, claims the port, prints "claimed" on stdout and keeps the claim until
// its standard input ends or a signal ends it. The kernel releases the claim with the process.
//
//   hold_port DEVICE [--exclusive]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int failed(const char *what, const char *device)
{
    std::fprintf(stderr, "hold_port: %s %s: %s\n", what, device, std::strerror(errno));
    return 1;
}

void waitForEndOfInput()
{
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "--exclusive")) {
        std::fprintf(stderr, "usage: hold_port DEVICE [--exclusive]\n");
        return 2;
    }
    const char *device = argv[1];
    const int fd = open(device, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return failed("cannot open", device);
    }
    if (argc == 3 && ioctl(fd, PPEXCL) < 0) {
        return failed("cannot ask for exclusive access to", device);
    }
    if (ioctl(fd, PPCLAIM) < 0) {
        return failed("cannot claim", device);
    }
    std::printf("claimed\n");
    std::fflush(stdout);
    waitForEndOfInput();
    return 0;
}
