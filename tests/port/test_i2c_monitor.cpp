// The monitor is the reference the other tests and the simulated board decode with, so it is
// checked here against streams built line level by line level, independently of the panel.
#include "i2c_monitor.h"
#include "line_stream.h"

#include <QTest>

#include <string>
#include <vector>

namespace {

struct Run {
    std::vector<std::pair<int, int>> writes;
    std::vector<std::string> problems;
    int recoveries = 0;

    Run(const std::vector<std::uint8_t> &bytes, I2cMonitor::Time spacing)
    {
        I2cMonitor monitor({[this](std::uint8_t a, std::uint8_t d) { writes.emplace_back(a, d); },
                            [this](const std::string &p) { problems.push_back(p); },
                            [this] { ++recoveries; }});
        I2cMonitor::Time when{0};
        for (const std::uint8_t byte : bytes) {
            monitor.feed(byte, when += spacing);
        }
        monitor.finish();
    }
    std::string all() const
    {
        std::string text;
        for (const std::string &problem : problems) {
            text += problem + "; ";
        }
        return text;
    }
    bool reported(const char *text) const
    {
        for (const std::string &problem : problems) {
            if (problem.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

constexpr I2cMonitor::Time kSlow{2000};

} // namespace

class TestI2cMonitor : public QObject {
    Q_OBJECT

private slots:
    void decodesWritesInOrder()
    {
        Stream stream;
        stream.write(0xF8, 0x8B).write(0xFA, 0x00).write(0xF8, 0xFF);
        const Run run(stream.bytes, kSlow);
        QVERIFY2(run.problems.empty(), run.all().c_str());
        const std::vector<std::pair<int, int>> expected{{0x7C, 0x8B}, {0x7D, 0x00}, {0x7C, 0xFF}};
        QCOMPARE(run.writes, expected);
    }

    void reportsEachKindOfViolation()
    {
        Stream lowBits;
        lowBits.write(0xF8, 0x01).bytes.back() = 0x3E; // idle level with bit 0 cleared
        Stream repeatedStart;
        repeatedStart.start().byte(0xF8).levels(true, false).levels(true, true).levels(false, true);
        repeatedStart.levels(false, false).byte(0x01).stop();

        const std::vector<std::pair<Stream, const char *>> cases{
            {lowBits, "bits 5..0 not all 1"},
            {Stream().start().byte(0x1F, 5).stop(), "transaction of 5 bits"},
            {repeatedStart, "start condition inside a transaction"},
            {Stream().levels(false, false), "changed together"},
            {Stream().start().byte(0xF8), "bus left inside a transaction after 8 bits"},
            {Stream().levels(true, false).levels(true, true), "SCL changed outside a transaction"},
            {Stream().levels(true, false).levels(false, false).levels(true, false),
             "SDA changed outside a transaction"},
            {Stream().write(0xF9, 0x00), "read transaction to 0x7C"},
            {Stream().start().byte(0xF8).bit(false).byte(0x00).bit(true).stop(), "acknowledge"},
        };
        for (const auto &[stream, problem] : cases) {
            const Run run(stream.bytes, kSlow);
            QVERIFY2(run.reported(problem),
                     (problem + std::string(" not in: ") + run.all()).c_str());
        }
    }

    void acceptsBusRecoveryPulsesBeforeAWrite()
    {
        Stream stream;
        for (int pulse = 0; pulse < 9; ++pulse) {
            stream.recover();
        }
        stream.write(0xF8, 0x80);
        const Run paced(stream.bytes, kSlow);
        QVERIFY2(paced.problems.empty(), paced.all().c_str());
        QCOMPARE(paced.recoveries, 9);
        QCOMPARE(paced.writes, (std::vector<std::pair<int, int>>{{0x7C, 0x80}}));

        const Run fast(Stream().recover().recover().bytes, I2cMonitor::Time{500});
        QVERIFY(fast.reported("SCL low lasted 1000 ns"));
        QVERIFY(fast.reported("stop set-up lasted 500 ns"));
    }

    void checksFastModeTiming()
    {
        Stream stream;
        stream.write(0xF8, 0x55);
        // One level change a byte at 1 us: every SCL high phase is 1 us (enough), every low
        // phase 2 us (enough), but the start hold and stop set-up are fine too.
        const Run paced(stream.bytes, I2cMonitor::Time{1000});
        QVERIFY2(paced.problems.empty(), paced.all().c_str());

        const Run fast(stream.bytes, I2cMonitor::Time{500});
        QVERIFY(fast.reported("SCL high lasted 500 ns"));
        QVERIFY(fast.reported("SCL low lasted 1000 ns"));
        QVERIFY(fast.reported("start hold lasted 500 ns"));
        QVERIFY(fast.reported("stop set-up lasted 500 ns"));
        QCOMPARE(fast.writes.size(), 1U); // timing faults do not hide the write itself
    }

    void checksBusFreeTimeBetweenWrites()
    {
        Stream stream;
        stream.write(0xF8, 0x01).start(); // a new start right after the stop
        const Run run(stream.bytes, I2cMonitor::Time{1000});
        QVERIFY(run.reported("bus free time lasted 1000 ns"));
    }
};

QTEST_APPLESS_MAIN(TestI2cMonitor)
#include "test_i2c_monitor.moc"
