// What assistive technology hears about each control, and the panel worked by keyboard alone.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QAccessible>
#include <QPushButton>
#include <QSlider>

using recording::takeTransactions;
using recording::Transactions;

namespace {

QString accessible(QWidget *control, QAccessible::Text text)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
    return face != nullptr ? face->text(text) : QString();
}

// The controls Tab visits going round the window once.
QStringList tabCycle()
{
    QStringList visited;
    do {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    } while (visited.size() < 40 && visited.back() != "RESET");
    return visited;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;

    void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
    }
    void cleanup() { delete window; }

    void everyControlSaysWhatItSets()
    {
        QSet<QString> names;
        for (QWidget *control : window->findChildren<QWidget *>()) {
            const QString name = accessible(control, QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(control->objectName()));
            names << name;
        }
        QCOMPARE(names.size(), 24); // no two alike
        QCOMPARE(accessible(window->control("monovol"), QAccessible::Name),
                 QString("Loudspeaker volume"));
        QCOMPARE(accessible(window->control("hp3don"), QAccessible::Name),
                 QString("Headphone 3D on"));
        QCOMPARE(accessible(window->control("CCUPL"), QAccessible::Name),
                 QString("Headphone output coupling C-CUPL"));
    }

    void slidersCarryTheGainTheirBoxShows()
    {
        auto *monovol = window->control<QSlider>("monovol");
        auto *rightvol = window->control<QSlider>("rightvol");
        QCOMPARE(accessible(monovol, QAccessible::Description), QString("Gain -47.0 dB"));
        QCOMPARE(accessible(rightvol, QAccessible::Description), QString("Gain -59.0 dB"));
        monovol->setValue(11);
        rightvol->setValue(31);
        QCOMPARE(accessible(monovol, QAccessible::Description), QString("Gain 0.0 dB"));
        QCOMPARE(accessible(rightvol, QAccessible::Description), QString("Gain 18.0 dB"));
        QTest::mouseClick(window->control<QPushButton>("RESET"), Qt::LeftButton);
        QCOMPARE(accessible(monovol, QAccessible::Description), QString("Gain -47.0 dB"));
        QCOMPARE(accessible(rightvol, QAccessible::Description), QString("Gain -59.0 dB"));
    }

    // Tab reaches every control but the options not selected, which the arrow keys reach
    // from the selected one; the Tab stop follows the selection.
    void tabAndArrowsReachEveryControl()
    {
        const QStringList others{"monovol", "rightvol", "hfgainbox", "rgainbox"};
        QCOMPARE(tabCycle(), QStringList({"addrzero", "CCUPL", "poweroff"}) + others +
                                 QStringList({"ls3doff", "hp3doff", "RESET"}));
        const char *pairs[][2] = {{"addrzero", "addrone"},
                                  {"CCUPL", "OCL"},
                                  {"poweroff", "poweron"},
                                  {"ls3doff", "ls3don"},
                                  {"hp3doff", "hp3don"}};
        for (const auto &[selected, other] : pairs) {
            window->control(selected)->setFocus();
            press(Qt::Key_Left);
            QCOMPARE(QApplication::focusWidget()->objectName(), QString(other));
        }
        window->control("RESET")->setFocus();
        QCOMPARE(tabCycle(), QStringList({"addrone", "OCL", "poweron"}) + others +
                                 QStringList({"ls3don", "hp3don", "RESET"}));
        QTest::mouseClick(window->control<QPushButton>("RESET"), Qt::LeftButton);
        QCOMPARE(tabCycle(), QStringList({"addrzero", "CCUPL", "poweroff"}) + others +
                                 QStringList({"ls3doff", "hp3doff", "RESET"}));
    }

    void keyboardAloneDrivesTheChip()
    {
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("RESET"));
        press(Qt::Key_Tab);  // the address group, at "0"
        press(Qt::Key_Left); // selects "1": sends nothing
        QVERIFY(window->control<QRadioButton>("addrone")->isChecked());
        press(Qt::Key_Tab);  // the coupling group, at "C-CUPL"
        press(Qt::Key_Up);   // selects "OCL", as Left does
        press(Qt::Key_Down); // back to "C-CUPL", as Right does
        press(Qt::Key_Up);
        press(Qt::Key_Tab);    // the power group, at "OFF"
        press(Qt::Key_Left);   // selects "ON"
        press(Qt::Key_Tab);    // the loudspeaker slider
        press(Qt::Key_PageUp); // a page: each position on the way written in turn
        QCOMPARE(takeTransactions(), (Transactions{{0xFA, 0x02},
                                                   {0xFA, 0x00},
                                                   {0xFA, 0x02},
                                                   {0xFA, 0x03},
                                                   {0xFA, 0x81},
                                                   {0xFA, 0x82},
                                                   {0xFA, 0x83},
                                                   {0xFA, 0x84},
                                                   {0xFA, 0x85}}));
        for (int i = 0; i < 6; ++i) { // round to " DEFAULT"
            press(Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("RESET"));
        press(Qt::Key_Space);
        QCOMPARE(takeTransactions(),
                 (Transactions{{0xF8, 0xA0}, {0xF8, 0x60}, {0xF8, 0x00}, {0xF8, 0x80}}));
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
