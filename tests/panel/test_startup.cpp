// What the window sends as it loads, and what a port failure during it leaves behind.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QTest>

namespace {

const std::vector<recording::Transaction> kStartup{{0xF8, 0x80}, {0xF8, 0x40}, {0xF8, 0x00}};

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
        QCOMPARE(recording::writes().size(), 3 * 162U);

        window.hide();
        window.show(); // the load runs once per window, not once per show
        QTest::qWait(50);
        QCOMPARE(recording::writes().size(), 3 * 162U);
        QCOMPARE(window.failures, 0);
        QCOMPARE(window.windowTitle(), QString("ZQ80415 Audio Program v1.2 "));
    }

    void portFailureStopsAtTheFailingWrite_data()
    {
        QTest::addColumn<int>("failing");
        for (const int n : {1, 2, 9, 161, 162, 163, 300, 486}) {
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
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
