// The kernel port's error paths, which every machine without a parallel port can check, and
// how it picks between the parallel port and an I2C adapter. The happy paths need a real port
// or adapter and the board.
#include "data_register.h"
#include "hold_floor.h"
#include "inpout.h"

#include <QFileInfo>
#include <QTest>

namespace {
const QString kDevice = QStringLiteral("/dev/parport0");

QString failureOf(std::uint16_t address)
{
    try {
        writeDataRegister(address, 0x3F);
    } catch (const PortError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

PortSettings onPort(const char *device)
{
    PortSettings settings;
    settings.device = device;
    return settings;
}

PortSettings onI2c(const char *bus)
{
    PortSettings settings;
    settings.i2cBus = bus;
    return settings;
}
} // namespace

class TestPpdevPort : public QObject {
    Q_OBJECT

private slots:
    void refusesOtherAddressesBeforeTouchingTheDevice()
    {
        const QString message = failureOf(0x278);
        QVERIFY2(message.contains("0x278") && message.contains("0x378"), qPrintable(message));
        QVERIFY(message.contains(kDevice));
    }

    void missingDeviceSaysWhatToLoad()
    {
        if (QFileInfo::exists(kDevice)) {
            QSKIP("this machine has a parallel port");
        }
        for (int attempt = 0; attempt < 2; ++attempt) { // a failed open is retried, not cached
            const QString message = failureOf(kDataRegister);
            QVERIFY2(message.startsWith("Cannot open the parallel port /dev/parport0: No such "
                                        "file or directory."),
                     qPrintable(message));
            QVERIFY2(message.contains("modprobe parport_pc ppdev"), qPrintable(message));
        }
        // Run as root, an open with O_CREAT would have made a plain file here.
        QVERIFY(!QFileInfo::exists(kDevice));
    }

    // The node each setting drives, named without opening anything: a bus number is i2c-dev's
    // node for it, and a name no adapter has names no node.
    void boardDeviceNamesTheNodeWithoutOpeningIt()
    {
        const std::pair<PortSettings, std::string> cases[] = {
            {PortSettings(), "/dev/parport0"},
            {onPort("/dev/parport1"), "/dev/parport1"},
            {onI2c("3"), "/dev/i2c-3"},
            {onI2c("007"), "/dev/i2c-7"},
            {onI2c("/dev/i2c-12"), "/dev/i2c-12"},
            {onI2c("no adapter is named this"), ""},
            {onI2c("12345678901234567890"), ""}, // too long for a number: a name
        };
        for (const auto &[settings, device] : cases) {
            std::string problem;
            QCOMPARE(boardDevice(settings, problem), device);
            QCOMPARE(problem.empty(), !device.empty());
        }
    }

    // The parallel port keeps its hold floor; on an I2C adapter nothing waits for it, and a
    // failure is headed as the adapter's.
    void theSettingsPickTheDevice()
    {
        const std::string problem = configurePort(onI2c("/nonexistent/i2c-0"));
        QVERIFY2(problem.starts_with("The panel cannot reach the board through the I2C "
                                     "adapter.\nCannot open the I2C bus /nonexistent/i2c-0: No "
                                     "such file"),
                 problem.c_str());
        QCOMPARE(dataRegisterHoldFloor(), std::chrono::nanoseconds::zero());
        QVERIFY(QByteArray(portFailureHeadline()).contains("I2C adapter"));
        const QString message = failureOf(kDataRegister);
        QVERIFY2(message.startsWith("Cannot open the I2C bus /nonexistent/i2c-0: No such file"),
                 qPrintable(message));

        QCOMPARE(configurePort(PortSettings()).empty(), QFileInfo::exists(kDevice));
        QCOMPARE(dataRegisterHoldFloor(), kHoldFloor);
        QVERIFY(QByteArray(portFailureHeadline()).contains("parallel port failed"));
    }
};

QTEST_APPLESS_MAIN(TestPpdevPort)
#include "test_ppdev_port.moc"
