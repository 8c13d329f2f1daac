// Prints the bytes the panel puts on the data register as it opens, one "0xhh" per line: the
// panel itself, on the recording port instead of the kernel's. The kernel tests expect
// exactly this stream in the capture of the emulated port.
#include "panel/zq7130.h"
#include "recording_port.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ZQ7130 window;
    window.show();
    for (const std::uint8_t byte : recording::bytes()) {
        std::printf("0x%02x\n", byte);
    }
    return 0;
}
