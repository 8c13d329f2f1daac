// How a run ends: a signal lets the register write in progress finish, drops input queued
// behind it and closes the window; Ctrl+Q closes it too. Neither writes anything itself.
#include "panel_under_test.h"
#include "recording_port.h"
#include "session/ending.h"

#include <QSlider>

#include <csignal>

class TestEnding : public QObject {
    Q_OBJECT

private slots:
    void signalInsideAWriteLetsItFinishAndNothingMore()
    {
        PanelUnderTest window;
        Ending ending(window);
        QVERIFY(window.open());
        auto *slider = window.control<QSlider>("monovol");
        slider->setFocus();
        recording::atWrite(80, [] { std::raise(SIGTERM); });
        QTest::keyClick(slider, Qt::Key_Right);
        QTest::keyClick(slider, Qt::Key_Right); // queued behind the signal: dropped
        QTest::mouseClick(window.control<QRadioButton>("poweron"), Qt::LeftButton);
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(recording::takeTransactions(), (recording::Transactions{{0xF8, 0x81}}));
        QCOMPARE(slider->value(), 1);
        QCOMPARE(ending.status(0), 128 + SIGTERM);
    }

    // The first of several signals decides the status, however many follow and whenever they
    // are read.
    void signalBeforeTheLoadIsSeenBeforeAnyWrite()
    {
        PanelUnderTest window;
        Ending ending(window);
        std::raise(SIGHUP);
        std::raise(SIGINT);
        QVERIFY(ending.signalled());
        std::raise(SIGTERM);
        QVERIFY(ending.signalled());
        QCOMPARE(ending.status(0), 128 + SIGHUP);
    }

    void ctrlQClosesWithoutWriting()
    {
        PanelUnderTest window;
        Ending ending(window);
        QVERIFY(window.open());
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window.isVisible());
        QCOMPARE(recording::writes().size(), 0U);
        QCOMPARE(ending.status(0), 0);
    }
};

QTEST_MAIN(TestEnding)
#include "test_ending.moc"
