// The two volume sliders: code, label and register write for each position the slider reports.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>

using recording::takeTransactions;
using recording::Transactions;

// The writes that step a volume register up from `data`, one position each, `count` of them.
Transactions upFrom(std::uint8_t data, int count)
{
    Transactions steps;
    for (int step = 1; step <= count; ++step) {
        steps.push_back({0xF8, std::uint8_t(data + step)});
    }
    return steps;
}

// Where the handle of a slider at position 0 stands.
int handleX(const QSlider *slider)
{
    return slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider) / 2;
}

class TestVolume : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;
    QSlider *monovol = nullptr;
    QSlider *rightvol = nullptr;
    QLineEdit *hfgainbox = nullptr;
    QLineEdit *rgainbox = nullptr;

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
        monovol = window->control<QSlider>("monovol");
        rightvol = window->control<QSlider>("rightvol");
        hfgainbox = window->control<QLineEdit>("hfgainbox");
        rgainbox = window->control<QLineEdit>("rgainbox");
    }
    void cleanup() { delete window; }

    void everyPositionSendsItsCodeAndShowsItsLabel()
    {
        for (std::uint8_t p = 31;; --p) {
            monovol->setValue(p);
            rightvol->setValue(p);
            QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x80 | p}, {0xF8, 0x40 | p}}));
            QCOMPARE(hfgainbox->text(), QString(speakerGainLabels[p]));
            QCOMPARE(rgainbox->text(), QString(headphoneGainLabels[p]));
            if (p == 0) {
                break;
            }
        }
        QCOMPARE(hfgainbox->text(), QString("-47.0 dB"));
        QCOMPARE(rgainbox->text(), QString("-59.0 dB"));
    }

    void labelsKeepTheirShape()
    {
        monovol->setValue(11);
        rightvol->setValue(19);
        QCOMPARE(hfgainbox->text(), QString(" 0.0 dB"));
        QCOMPARE(rgainbox->text(), QString(" 0.0 dB"));
        rightvol->setValue(4);
        QCOMPARE(rgainbox->text(), QString("-30.5 dB"));
        monovol->setValue(31);
        rightvol->setValue(31);
        QCOMPARE(hfgainbox->text(), QString(" 30.0 dB"));
        QCOMPARE(rgainbox->text(), QString(" 18.0 dB"));
    }

    void keysAndTrackClicksStepAndClamp()
    {
        monovol->setFocus();
        QTest::keyClick(monovol, Qt::Key_Right);
        QTest::keyClick(monovol, Qt::Key_PageUp);
        QCOMPARE(monovol->value(), 6);
        QTest::mouseClick(monovol, Qt::LeftButton, {}, QPoint(monovol->width() - 20, 8));
        QCOMPARE(monovol->value(), 11);
        QCOMPARE(takeTransactions(), upFrom(0x80, 11)); // each position passed, in turn

        for (int page = 0; page < 5; ++page) {
            QTest::keyClick(monovol, Qt::Key_PageUp);
        }
        QTest::keyClick(monovol, Qt::Key_Right);
        QCOMPARE(monovol->value(), 31);
        for (int page = 0; page < 7; ++page) {
            QTest::keyClick(monovol, Qt::Key_PageDown);
        }
        QTest::keyClick(monovol, Qt::Key_Left);
        QCOMPARE(monovol->value(), 0);
        QCOMPARE(takeTransactions().size(), 51U); // 12 .. 31, then 30 .. 0: none at either end
    }

    // A drag writes every position the handle passes, in order, however far one motion takes it.
    void aDragWritesEachPositionItPasses()
    {
        const int y = monovol->height() / 2;
        QTest::mousePress(monovol, Qt::LeftButton, {}, QPoint(handleX(monovol), y));
        QTest::mouseMove(monovol, QPoint(monovol->width() + 40, y));
        QCOMPARE(monovol->value(), 31);
        QCOMPARE(takeTransactions(), upFrom(0x80, 31));
        QTest::mouseMove(monovol, QPoint(-40, y));
        QTest::mouseRelease(monovol, Qt::LeftButton, {}, QPoint(-40, y));
        Transactions down = upFrom(0x80, 31);
        std::reverse(down.begin(), down.end());
        down.erase(down.begin());
        down.push_back({0xF8, 0x80});
        QCOMPARE(takeTransactions(), down);
        QCOMPARE(hfgainbox->text(), QString("-47.0 dB"));
    }

    // A click held on the groove steps a page at once and then a page each interval, each
    // position written in turn, and stops at the position under the pointer: never past it, never
    // jumping to it.
    void aHeldClickStepsAPageAtATimeAndStopsAtThePointer()
    {
        const int y = rightvol->height() / 2;
        const QPoint middle(rightvol->width() / 2, y);
        QTest::mousePress(rightvol, Qt::LeftButton, {}, middle);
        QCOMPARE(rightvol->value(), 5); // at once: one page
        QTest::qWait(300);              // the pause before the repeat
        QCOMPARE(rightvol->value(), 5);
        QTRY_VERIFY_WITH_TIMEOUT(!rightvol->isSliderDown(), 3000); // reached the pointer
        const int reached = rightvol->value();
        QVERIFY2(reached > 10 && reached < 21, QByteArray::number(reached));
        QTest::qWait(200);
        QTest::mouseRelease(rightvol, Qt::LeftButton, {}, middle);
        QCOMPARE(rightvol->value(), reached);
        QCOMPARE(takeTransactions(), upFrom(0x40, reached));

        QTest::mousePress(rightvol, Qt::LeftButton, {}, QPoint(rightvol->width() - 2, y));
        QTRY_VERIFY_WITH_TIMEOUT(!rightvol->isSliderDown(), 3000);
        QTest::mouseRelease(rightvol, Qt::LeftButton, {}, QPoint(rightvol->width() - 2, y));
        QCOMPARE(rightvol->value(), 31);
        QCOMPARE(takeTransactions(), upFrom(0x40 + reached, 31 - reached));
    }

    // Released early, a held click goes no further.
    void aReleasedClickStopsWhereItIs()
    {
        const QPoint end(monovol->width() - 2, monovol->height() / 2);
        QTest::mousePress(monovol, Qt::LeftButton, {}, end);
        QTest::mouseRelease(monovol, Qt::LeftButton, {}, end, 100);
        QTest::qWait(700);
        QCOMPARE(monovol->value(), 5);
        QCOMPARE(takeTransactions(), upFrom(0x80, 5));
    }

    // Nothing moves a volume further than a page at once: Home, End and a middle click on the
    // groove, which would jump there, do nothing, with or without the focus.
    void noKeyOrClickJumpsFurtherThanAPage()
    {
        monovol->setFocus();
        monovol->setValue(11);
        takeTransactions();
        QTest::keyClick(monovol, Qt::Key_End);
        QTest::keyClick(monovol, Qt::Key_Home);
        for (QSlider *slider : {monovol, rightvol}) {
            const QPoint nearTheEnd(slider->width() - 10, 8);
            QTest::mouseClick(slider, Qt::MiddleButton, {}, nearTheEnd);
            QTest::mouseDClick(slider, Qt::MiddleButton, {}, nearTheEnd);
        }
        QCOMPARE(monovol->value(), 11);
        QCOMPARE(rightvol->value(), 0);
        QCOMPARE(takeTransactions(), Transactions{});
    }

    void oneSliderLeavesTheOtherAlone()
    {
        rightvol->setValue(7);
        takeTransactions();
        rgainbox->setText("typed");
        monovol->setValue(12);
        QCOMPARE(rgainbox->text(), QString("typed"));
        rightvol->setValue(7);
        QCOMPARE(rightvol->value(), 7);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x8C}}));
        monovol->setValue(13);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x8D}}));
    }

    // A gain box shows the gain the chip was sent and nothing else: typed and pasted text, however
    // long or strange, never lands, while the gain can still be selected and copied.
    void gainBoxesShowOnlyTheGain()
    {
        const QString inputs[] = {QString(20000, QChar('9')), QStringLiteral("+12.0 dB"),
                                  QString::fromUtf8("\u2212\u221e dB \U0001F50A"),
                                  QString::fromLatin1("\t\x01\x7f\r\n-0.0 dB\x1b[2J")};
        for (const QString &input : inputs) {
            hfgainbox->setFocus();
            QTest::sendKeyEvent(QTest::Click, hfgainbox, Qt::Key_unknown, input.left(200),
                                Qt::NoModifier); // typed, as an input method delivers text
            QApplication::clipboard()->setText(input);
            QTest::keyClick(hfgainbox, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClick(hfgainbox, Qt::Key_Backspace);
            QCOMPARE(hfgainbox->text(), QString("-47.0 dB"));
        }
        QCOMPARE(recording::writes().size(), 0U);

        QTest::keyClick(hfgainbox, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(hfgainbox, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("-47.0 dB"));
        monovol->setValue(2);
        QCOMPARE(hfgainbox->text(), QString("-28.5 dB"));
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x82}}));
    }

    void samePositionTwiceSendsTwice()
    {
        monovol->setValue(9);
        Q_EMIT monovol->valueChanged(monovol->value());
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x89}, {0xF8, 0x89}}));
    }

    void positionOutsideTheTableSendsTheFrameUnchanged()
    {
        monovol->setValue(3);
        takeTransactions();
        monovol->setRange(0, 40);
        monovol->setValue(35);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x83}}));
        QCOMPARE(hfgainbox->text(), QString("-22.5 dB"));
    }

    // Over an unfocused slider the wheel changes nothing; on the focused one it moves one
    // position a notch, and each position is written as a key press's is.
    void wheelMovesOnlyTheFocusedSliderOneStepANotch()
    {
        const auto turn = [](QSlider *slider, int eighths) {
            QWheelEvent event(QPointF(20, 5), slider->mapToGlobal(QPointF(20, 5)), {},
                              QPoint(0, eighths), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(slider, &event);
        };
        turn(monovol, 11 * 120);
        QCOMPARE(monovol->value(), 0);
        QCOMPARE(recording::writes().size(), 0U);

        monovol->setFocus();
        turn(monovol, 120);
        turn(monovol, 3 * 120);
        turn(monovol, 60); // a high-resolution wheel: two halves make a notch
        turn(monovol, 60);
        turn(monovol, -120);
        turn(rightvol, 120);
        QCOMPARE(monovol->value(), 4);
        QCOMPARE(rightvol->value(), 0);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x81},
                                                   {0xF8, 0x82},
                                                   {0xF8, 0x83},
                                                   {0xF8, 0x84},
                                                   {0xF8, 0x85},
                                                   {0xF8, 0x84}}));
    }

    void portFailureKeepsTheNewCodeAndLabel()
    {
        recording::failAtWrite(100);
        monovol->setValue(11);
        QCOMPARE(window->failures, 1);
        QCOMPARE(recording::writes().size(), 99U);
        QCOMPARE(hfgainbox->text(), QString(" 0.0 dB"));
        recording::clear();
        monovol->setValue(11); // the next report sends the code the frame already holds
        Q_EMIT monovol->valueChanged(11);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x8B}}));
    }
};

QTEST_MAIN(TestVolume)
#include "test_volume.moc"
