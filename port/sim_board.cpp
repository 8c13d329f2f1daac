// The simulated board: no parallel port is touched. Every byte goes to an I2C monitor that
// prints each completed register write on stdout as "0x7C <- 0x8B" and every protocol or
// timing violation on stderr.
#include "data_register.h"
#include "i2c_monitor.h"
#include "inpout.h"

#include <chrono>
#include <cstdio>

namespace {

// Prints one register write. Once standard output is gone (a closed pipe, a full disk), says
// so once on stderr and goes on simulating without printing: the panel must not stop because
// nobody reads the board.
void printWrite(std::uint8_t address, std::uint8_t data)
{
    static bool printing = true;
    if (!printing) {
        return;
    }
    if (std::printf("0x%02X <- 0x%02X\n", address, data) < 0 || std::fflush(stdout) != 0) {
        printing = false;
        std::perror("zq80415-sim: standard output failed; register writes are no longer printed");
    }
}

class SimulatedBoard {
public:
    SimulatedBoard()
        : monitor_({printWrite,
                    [](const std::string &problem) {
                        std::fprintf(stderr, "zq80415-sim: I2C violation: %s\n", problem.c_str());
                    },
                    {}})
    {
        std::fprintf(stderr, "zq80415-sim: simulated board, no parallel port is used; each "
                             "register write is printed below.\n");
    }
    ~SimulatedBoard() { monitor_.finish(); }

    void write(std::uint8_t value)
    {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        monitor_.feed(value, std::chrono::duration_cast<I2cMonitor::Time>(now));
    }

private:
    I2cMonitor monitor_;
};

} // namespace

const LinkedPort &linkedPort()
{
    static const LinkedPort port{"zq80415-sim",
                                 "Control panel for the ZQ80415 amplifier on a simulated board: "
                                 "each register write is printed.",
                                 nullptr};
    return port;
}

void configurePort(const PortSettings &) {}

void writeDataRegister(std::uint16_t address, std::uint8_t value)
{
    if (address != kDataRegister) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "Port address 0x%03X is not supported: the board sits at 0x%03X.", address,
                      kDataRegister);
        throw PortError(text);
    }
    static SimulatedBoard board;
    board.write(value);
}
