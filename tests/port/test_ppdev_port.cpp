// The kernel port's error paths, which every machine without a parallel port can check. The
// happy path needs a real port and the board.
#include "data_register.h"
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
};

QTEST_APPLESS_MAIN(TestPpdevPort)
#include "test_ppdev_port.moc"
