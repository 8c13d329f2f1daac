// The control socket's commands, run against the real window on the recording port: each does
// what the operator's action does, through the same handler and the same write, and the window
// shows it; anything malformed is refused and writes nothing.
#include "control/commands.h"
#include "panel_under_test.h"
#include "recording_port.h"

#include <QSlider>
#include <QStyle>

using recording::takeTransactions;
using recording::Transactions;

class TestCommands : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;

    QByteArray run(const QByteArray &line) { return runCommand(*window, line); }

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
    }
    void cleanup() { delete window; }

    void eachCommandWritesWhatItsControlWrites_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<Transactions>("writes");
        QTest::addColumn<QByteArray>("state");
        const QByteArray start = "power=off speaker-3d=off headphone-3d=off coupling=c-cupl "
                                 "address=0 speaker-volume=0 speaker-gain=-47.0 "
                                 "headphone-volume=0 headphone-gain=-59.0";
        const auto with = [&](const char *from, const char *to) {
            return QByteArray(start).replace(from, to);
        };
        QTest::newRow("power") << QByteArray("power on") << Transactions{{0xF8, 0x01}}
                               << with("power=off", "power=on");
        QTest::newRow("blanks, case")
            << QByteArray("  Speaker-3D   ON ") << Transactions{{0xF8, 0x04}}
            << with("speaker-3d=off", "speaker-3d=on");
        QTest::newRow("tabs are blanks")
            << QByteArray("\tpower\t on\t") << Transactions{{0xF8, 0x01}}
            << with("power=off", "power=on");
        QTest::newRow("headphone 3d") << QByteArray("headphone-3d on") << Transactions{{0xF8, 0x08}}
                                      << with("headphone-3d=off", "headphone-3d=on");
        QTest::newRow("coupling") << QByteArray("coupling OCL") << Transactions{{0xF8, 0x02}}
                                  << with("c-cupl", "ocl");
        QTest::newRow("re-select repeats")
            << QByteArray("coupling c-cupl") << Transactions{{0xF8, 0x00}} << start;
        QTest::newRow("address writes nothing")
            << QByteArray("address 1") << Transactions{} << with("address=0", "address=1");
        QTest::newRow("speaker volume")
            << QByteArray("speaker-volume 11") << Transactions{{0xF8, 0x8B}}
            << with("speaker-volume=0 speaker-gain=-47.0", "speaker-volume=11 speaker-gain=0.0");
        QTest::newRow("same position repeats")
            << QByteArray("headphone-volume 0") << Transactions{{0xF8, 0x40}} << start;
        QTest::newRow("default")
            << QByteArray("default")
            << Transactions{{0xF8, 0xA0}, {0xF8, 0x60}, {0xF8, 0x00}, {0xF8, 0x80}} << start;
    }
    void eachCommandWritesWhatItsControlWrites()
    {
        QFETCH(QByteArray, line);
        QFETCH(Transactions, writes);
        QFETCH(QByteArray, state);
        QCOMPARE(run(line), QByteArray("ok"));
        QCOMPARE(takeTransactions(), writes);
        QCOMPARE(run("STATE"), state);
        QCOMPARE(recording::writes().size(), 0U);
    }

    void sweepFollowsTheSlider()
    {
        for (int position = 31; position >= 0; --position) {
            QCOMPARE(run("headphone-volume " + QByteArray::number(position)), QByteArray("ok"));
            QCOMPARE(window->control<QSlider>("rightvol")->value(), position);
            QCOMPARE(takeTransactions(), (Transactions{{0xF8, std::uint8_t(0x40 | position)}}));
        }
    }

    // A command that moves a slider the operator is dragging ends the drag: the pointer's
    // further motion writes nothing until the handle is taken again.
    void aCommandEndsADragOnItsSlider()
    {
        auto *slider = window->control<QSlider>("monovol");
        const int y = slider->height() / 2;
        const int handle = slider->style()->pixelMetric(QStyle::PM_SliderLength) / 2;
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(handle, y));
        QTest::mouseMove(slider, QPoint(handle + 30, y));
        QVERIFY(slider->value() > 0);
        takeTransactions();
        QCOMPARE(run("speaker-volume=20 speaker-gain=13.5"), QByteArray("ok"));
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x94}}));
        QTest::mouseMove(slider, QPoint(handle + 35, y));
        QTest::mouseMove(slider, QPoint(0, y));
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(0, y));
        QCOMPARE(slider->value(), 20);
        QCOMPARE(takeTransactions(), Transactions{});
        QCOMPARE(run("state").contains(" speaker-volume=20 speaker-gain=13.5 "), true);
    }

    // The state line's fields, any of them in any order, set each named control with the
    // write its command makes: the address first, then the options, then the volumes (the
    // whole line saved and sent back is tested on the real programs).
    void stateFieldsSetTheirControlsInOrder()
    {
        QCOMPARE(run("speaker-volume=3 Power=ON address=1"), QByteArray("ok"));
        QCOMPARE(takeTransactions(), (Transactions{{0xFA, 0x83}, {0xFA, 0x01}}));
    }

    // Power on goes last, after the volumes and the other options; power off goes first: the
    // chip is never powered with a louder setting than both the old and the new state.
    void aRestorePowersTheChipOnlyWhenQuietest()
    {
        QCOMPARE(run("speaker-volume 31"), QByteArray("ok"));
        QCOMPARE(run("power=on speaker-volume=0 speaker-gain=-47.0 headphone-volume=0 "
                     "coupling=ocl speaker-3d=on"),
                 QByteArray("ok"));
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x9F},
                                                   {0xF8, 0x04},
                                                   {0xF8, 0x06},
                                                   {0xF8, 0x80},
                                                   {0xF8, 0x40},
                                                   {0xF8, 0x07}}));
        QCOMPARE(run("speaker-volume=31 power=off speaker-3d=off"), QByteArray("ok"));
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x06}, {0xF8, 0x02}, {0xF8, 0x9F}}));
    }

    // Every field is checked before anything is written, the last as the first.
    void aBadStateLineWritesNothing()
    {
        const QByteArray start = run("state");
        const QByteArray refused[] = {"power=on bogus=1",
                                      "power=on power=off",
                                      "power=maybe",
                                      "power=",
                                      "=on",
                                      "power=on speaker-volume 3",
                                      "speaker-volume=32",
                                      "speaker-gain=0.0",
                                      "speaker-volume=11 speaker-gain=1.5",
                                      "headphone-volume=0 headphone-gain=-47.0",
                                      "speaker-volume=11 speaker-gain=0.0 address=2"};
        for (const QByteArray &line : refused) {
            QVERIFY2(run(line).startsWith("error: "), line.constData());
        }
        QCOMPARE(run("headphone-volume=0 speaker-gain=0.0"),
                 QByteArray("error: speaker-gain needs speaker-volume beside it"));
        QCOMPARE(recording::writes().size(), 0U);
        QCOMPARE(run("state"), start);
    }

    void badInputIsRefusedAndWritesNothing()
    {
        const QByteArray refused[] = {"",
                                      "   ",
                                      "bogus",
                                      "power",
                                      "power on off",
                                      "power 1",
                                      "speaker-volume",
                                      "speaker-volume 32",
                                      "speaker-volume -1",
                                      "speaker-volume 1x",
                                      "speaker-volume 007",
                                      "default now",
                                      "state all",
                                      "power\ron",
                                      "power on\x7f",
                                      "power \xc3\xa9",
                                      QByteArray(257, 'x')};
        for (const QByteArray &line : refused) {
            QVERIFY2(run(line).startsWith("error: "), line.constData());
        }
        QCOMPARE(run("power on" + QByteArray(248, ' ')), QByteArray("ok")); // 256 bytes
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x01}}));
    }
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
