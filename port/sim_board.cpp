// The simulated board: no parallel port is touched. Every byte goes to an I2C monitor that
// prints each completed register write on stdout as "0x7C <- 0x8B" and every protocol or
// timing violation on stderr.
#include "data_register.h"
#include "i2c_monitor.h"
#include "inpout.h"

#include <chrono>
#include <cstdio>

namespace {

class SimulatedBoard {
public:
    SimulatedBoard()
        : monitor_({[](std::uint8_t address, std::uint8_t data) {
                        std::printf("0x%02X <- 0x%02X\n", address, data);
                        std::fflush(stdout);
                    },
                    [](const std::string &problem) {
                        std::fprintf(stderr, "zq80415-sim: I2C violation: %s\n", problem.c_str());
                    }})
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
