// What the window sends as it loads, and what a port failure during it leaves behind.
#include "chip_model.h"
#include "panel_under_test.h"
#include "recording_port.h"

#include <QSlider>
#include <QTest>

#include <set>

namespace {

const std::vector<recording::Transaction> kStartup{{0xF8, 0x80}, {0xF8, 0x40}, {0xF8, 0x00}};

// Nine clock pulses, each ending in a stop condition, every level written twice.
std::vector<std::uint8_t> recoveryPreamble()
{
    std::vector<std::uint8_t> bytes;
    for (int pulse = 0; pulse < 9; ++pulse) {
        bytes.insert(bytes.end(), {0x7F, 0x7F, 0xFF, 0xFF, 0xBF, 0xBF, 0x3F, 0x3F});
    }
    return bytes;
}
const std::size_t kStartupWrites = recoveryPreamble().size() + 3 * 162;

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void init() { recording::clear(); }

    void loadSendsThreeWritesAndNothingMore()
    {
        PanelUnderTest window;
        QCOMPARE(recording::writes().size(), 0U); // nothing before the window loads
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(recording::transactions(), kStartup);
        QCOMPARE(recording::writes().size(), kStartupWrites);
        const std::vector<std::uint8_t> preamble = recoveryPreamble();
        const std::vector<std::uint8_t> bytes = recording::bytes();
        QVERIFY(std::equal(preamble.begin(), preamble.end(), bytes.begin()));

        window.hide();
        window.show(); // the load runs once per window, not once per show
        QTest::qWait(50);
        QCOMPARE(recording::writes().size(), kStartupWrites);
        QCOMPARE(window.failures, 0);
        QCOMPARE(window.windowTitle(), QString("ZQ80415 Audio Program v1.2 "));
    }

    void portFailureStopsAtTheFailingWrite_data()
    {
        QTest::addColumn<int>("failing");
        for (const int n : {1, 2, 72, 73, 233, 234, 400, 558}) {
            QTest::addRow("write %d", n) << n;
        }
    }
    void portFailureStopsAtTheFailingWrite()
    {
        QFETCH(int, failing);
        {
            PanelUnderTest healthy;
            healthy.show();
        }
        const std::vector<std::uint8_t> whole = recording::bytes();
        recording::clear();

        recording::failAtWrite(failing);
        PanelUnderTest window;
        window.show();
        // Writes before the failing one stay on the bus; nothing after it, not even a stop.
        const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + failing - 1);
        QCOMPARE(recording::bytes(), prefix);
        QCOMPARE(window.failures, 1);
        QCOMPARE(window.failure, QString("test port refused write %1").arg(failing));
    }

    // A run killed inside a register write, cut after each of its 162 writes, then a new run:
    // the chip latches no byte the panel did not send whole, even when it was acknowledging
    // (holding SDA low) at the cut, and ends with the start-up values.
    void aCutOffWriteIsNeverCompletedByTheNextRun()
    {
        const std::set<int> whole{0x80, 0x40, 0x00};
        for (std::size_t cut = 0; cut < 162; ++cut) {
            recording::clear();
            {
                PanelUnderTest killed;
                killed.show();
                recording::failAtWrite(kStartupWrites + cut + 1);
                killed.control<QSlider>("monovol")->setValue(21); // data 0x95
            }
            PanelUnderTest next;
            next.show();
            // The cut write's data byte is whole once its eighth bit has been clocked: the
            // fifth write of slot 16 raises SCL.
            std::set<int> sent = whole;
            if (cut >= 8 + 16 * 8 + 5) {
                sent.insert(0x95);
            }
            for (const auto order : {ChipModel::Order::SclFirst, ChipModel::Order::SdaFirst}) {
                ChipModel chip(order);
                for (const std::uint8_t byte : recording::bytes()) {
                    chip.feed(byte);
                    for (const auto &held : chip.registers) {
                        QVERIFY2(!held || sent.count(*held) == 1,
                                 qPrintable(QString("cut after %1 writes: a register holds 0x%2")
                                                .arg(cut)
                                                .arg(*held, 2, 16, QChar('0'))));
                    }
                }
                QCOMPARE(chip.registers[2], std::optional<std::uint8_t>(0x80));
                QCOMPARE(chip.registers[1], std::optional<std::uint8_t>(0x40));
                QCOMPARE(chip.registers[0], std::optional<std::uint8_t>(0x00));
            }
        }
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
