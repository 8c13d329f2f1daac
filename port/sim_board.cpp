// The simulated board: no parallel port is touched. Every byte goes to an I2C monitor that
// prints each completed register write on stdout as "0x7C <- 0x8B" and every protocol or
// timing violation on stderr, and with --vcd into a recording of the bus.
#include "data_register.h"
#include "hold_floor.h"
#include "inpout.h"
#include "vcd_recorder.h"
#include "write_printer.h"

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

class SimulatedBoard {
public:
    SimulatedBoard()
        : printer_("zq80415-sim")
    {
        std::fprintf(stderr, "zq80415-sim: simulated board, no parallel port is used; each "
                             "register write is printed below.\n");
    }

    void write(std::uint8_t value)
    {
        const I2cMonitor::Time now = I2cMonitor::now();
        printer_.feed(value, now);
        if (recorder) {
            recorder->record(value, now);
        }
    }

    std::optional<VcdRecorder> recorder; // with --vcd

private:
    WritePrinter printer_;
};

SimulatedBoard &board()
{
    static SimulatedBoard theBoard;
    return theBoard;
}

} // namespace

const LinkedPort &linkedPort()
{
    static const LinkedPort port{"zq80415-sim",
                                 "Control panel for the ZQ80415 amplifier on a simulated board: "
                                 "each register write is printed.",
                                 nullptr};
    return port;
}

namespace {
std::string vcdPath; // with --vcd: where to record, once the run is sure to start
}

// Only checks the recording's path: the file is touched once the run is sure to start.
std::string configurePort(const PortSettings &settings)
{
    vcdPath = settings.vcdPath;
    return vcdPath.empty() ? std::string() : VcdRecorder::problemWith(vcdPath);
}

// No port to open or claim: the recording starts here, after the display, the control socket
// and everything else that could refuse the run.
void prepareDataRegister()
{
    if (!vcdPath.empty() && !board().recorder) {
        board().recorder.emplace(vcdPath, I2cMonitor::now());
    }
}

// The board's monitor judges fast-mode timing, so its bytes are paced as the parallel port's.
std::chrono::nanoseconds dataRegisterHoldFloor()
{
    return kHoldFloor;
}

const char *portFailureHeadline()
{
    return "The panel cannot reach the simulated board.";
}

std::string boardDevice(const PortSettings &, std::string &)
{
    return {}; // no device node
}

void writeDataRegister(std::uint16_t address, std::uint8_t value)
{
    if (address != kDataRegister) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Port address 0x%03X is not supported: the board sits at 0x%03X.", address,
                      kDataRegister);
        throw PortError(text);
    }
    board().write(value);
}

int selfTestDataRegister(std::uint8_t)
{
    return 0; // the simulated chip always answers
}
