#include "hold_floor.h"
#include "inpout.h"
#include "recording_port.h"

#include <QTest>

class TestOut32 : public QObject {
    Q_OBJECT

private slots:
    void init() { recording::clear(); }

    // Each recorded time lies inside its write, so the gap between two of them is at least
    // the time from one write's end to the next one's start: the floor Out32 must keep.
    void holdsEveryLevelForTheFloor()
    {
        for (int i = 0; i < 2000; ++i) {
            Out32(kDataRegister, i % 2 == 0 ? 0x3F : 0xFF);
        }
        const auto &writes = recording::writes();
        QCOMPARE(writes.size(), 2000U);
        auto shortest = writes[1].when - writes[0].when;
        for (std::size_t i = 1; i < writes.size(); ++i) {
            shortest = std::min(shortest, writes[i].when - writes[i - 1].when);
        }
        QVERIFY2(shortest >= kHoldFloor, QByteArray::number(qint64(shortest.count())) + " ns");
    }

    void passesAFailureOnUnchanged()
    {
        recording::failAtWrite(2);
        Out32(kDataRegister, 0x3F);
        QVERIFY_THROWS_EXCEPTION(PortError, Out32(kDataRegister, 0xBF));
        QCOMPARE(recording::bytes(), std::vector<std::uint8_t>{0x3F});
    }
};

QTEST_APPLESS_MAIN(TestOut32)
#include "test_out32.moc"
