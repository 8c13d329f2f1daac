#include "recording_port.h"

#include "data_register.h"
#include "hold_floor.h"
#include "i2c_monitor.h"
#include "inpout.h"

#include <QTest>

namespace recording {
namespace {
std::vector<Write> recorded;
std::size_t failingWrite = 0;
std::size_t attempts = 0;
std::size_t hookedWrite = 0;
std::function<void()> hook;
} // namespace

void clear()
{
    recorded.clear();
    failingWrite = 0;
    attempts = 0;
    hookedWrite = 0;
    hook = nullptr;
}

void atWrite(std::size_t number, std::function<void()> action)
{
    hookedWrite = number;
    hook = std::move(action);
}

void failAtWrite(std::size_t number)
{
    failingWrite = number;
}

const std::vector<Write> &writes()
{
    return recorded;
}

std::vector<std::uint8_t> bytes()
{
    std::vector<std::uint8_t> values;
    for (const Write &write : recorded) {
        values.push_back(write.value);
    }
    return values;
}

Transactions transactions()
{
    Transactions decoded;
    I2cMonitor monitor({[&](std::uint8_t address, std::uint8_t data) {
                            decoded.emplace_back(static_cast<std::uint8_t>(address << 1), data);
                        },
                        [](const std::string &problem) {
                            QTest::qFail(("I2C violation: " + problem).c_str(), __FILE__, __LINE__);
                        },
                        {}});
    const auto origin =
        recorded.empty() ? std::chrono::steady_clock::time_point{} : recorded.front().when;
    for (const Write &write : recorded) {
        monitor.feed(write.value, write.when - origin);
    }
    monitor.finish();
    return decoded;
}

Transactions takeTransactions()
{
    Transactions decoded = transactions();
    clear();
    return decoded;
}

} // namespace recording

const LinkedPort &linkedPort()
{
    static const LinkedPort port{"zq80415-test", "The panel on a recording test port.", nullptr};
    return port;
}

void prepareDataRegister() {} // nothing to open or claim

std::chrono::nanoseconds dataRegisterHoldFloor()
{
    return kHoldFloor; // the panel's bytes are judged as line levels, as on the parallel port
}

const char *portFailureHeadline()
{
    return "The panel cannot reach the board: the test port failed.";
}

std::string boardDevice(const PortSettings &, std::string &)
{
    return {};
}

void writeDataRegister(std::uint16_t address, std::uint8_t value)
{
    using namespace recording;
    if (++attempts == failingWrite) {
        throw PortError("test port refused write " + std::to_string(attempts));
    }
    recorded.push_back({address, value, std::chrono::steady_clock::now()});
    if (attempts == hookedWrite && hook) {
        hook();
    }
}

int selfTestDataRegister(std::uint8_t)
{
    return 0;
}
