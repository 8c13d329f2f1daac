// What each option and the " DEFAULT" button send, driven as the operator drives them.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

using recording::takeTransactions;
using recording::Transactions;

class TestHandlers : public QObject {
    Q_OBJECT
    PanelUnderTest *window = nullptr;

    bool selected(const char *name) const
    {
        return window->control<QRadioButton>(name)->isChecked();
    }

private slots:
    void init()
    {
        window = new PanelUnderTest;
        QVERIFY(window->open());
    }
    void cleanup()
    {
        QCOMPARE(window->failures, 0);
        delete window;
    }

    void eachOptionSendsTheModeRegister()
    {
        window->select("poweron");
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x01}}));
        window->select("ls3don");
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x05}}));
        window->select("hp3don");
        window->select("OCL");
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x0D}, {0xF8, 0x0F}}));
        window->select("ls3doff");
        window->select("CCUPL");
        window->select("hp3doff");
        window->select("poweroff");
        QCOMPARE(takeTransactions(),
                 (Transactions{{0xF8, 0x0B}, {0xF8, 0x09}, {0xF8, 0x01}, {0xF8, 0x00}}));
        window->select("poweroff"); // selecting it again repeats the write
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x00}}));
    }

    void groupsAreExclusiveAndIndependent()
    {
        window->select("ls3don");
        QVERIFY(selected("ls3don") && !selected("ls3doff"));
        QVERIFY(selected("hp3doff") && selected("poweroff") && selected("CCUPL"));
        window->select("hp3don");
        QVERIFY(selected("ls3don") && selected("hp3don") && !selected("hp3doff"));
    }

    void keyboardSelectsOptionsToo()
    {
        auto *off = window->control<QRadioButton>("poweroff");
        off->setFocus();
        QTest::keyClick(off, Qt::Key_Left); // moves to ON within the group and selects it
        QVERIFY(selected("poweron"));
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x01}}));
        QTest::keyClick(window->control("poweron"), Qt::Key_Space); // already selected
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x01}}));
        auto *on = window->control<QRadioButton>("hp3don"); // pressed, then let go elsewhere
        QTest::mousePress(on, Qt::LeftButton, {}, QPoint(6, on->height() / 2));
        QTest::mouseRelease(on, Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(!selected("hp3don"));
        QCOMPARE(recording::writes().size(), 0U);
    }

    void addressBitGoesWithTheNextWrite()
    {
        window->select("addrone");
        QCOMPARE(recording::writes().size(), 0U);
        window->select("poweron");
        QCOMPARE(takeTransactions(), (Transactions{{0xFA, 0x01}}));
        window->control<QSlider>("rightvol")->setValue(3);
        QCOMPARE(takeTransactions(), (Transactions{{0xFA, 0x43}}));
        window->select("addrzero");
        window->select("poweroff");
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0x00}}));
    }

    void resetSendsFourWritesAndRestoresTheWindow()
    {
        window->select("addrone");
        window->select("OCL");
        window->select("ls3don");
        window->select("hp3don");
        window->select("poweron");
        window->control<QSlider>("monovol")->setValue(20);
        window->control<QSlider>("rightvol")->setValue(9);
        takeTransactions();

        QTest::mouseClick(window->control<QPushButton>("RESET"), Qt::LeftButton);
        QCOMPARE(takeTransactions(),
                 (Transactions{{0xF8, 0xA0}, {0xF8, 0x60}, {0xF8, 0x00}, {0xF8, 0x80}}));
        for (const char *name : {"CCUPL", "ls3doff", "hp3doff", "poweroff", "addrzero"}) {
            QVERIFY2(selected(name), name);
        }
        QCOMPARE(window->control<QSlider>("monovol")->value(), 0);
        QCOMPARE(window->control<QSlider>("rightvol")->value(), 0);
        QCOMPARE(window->control<QLineEdit>("hfgainbox")->text(), QString("-47.0 dB"));
        QCOMPARE(window->control<QLineEdit>("rgainbox")->text(), QString("-59.0 dB"));

        // The volume registers now carry the reset prefix.
        window->control<QSlider>("monovol")->setValue(5);
        window->control<QSlider>("rightvol")->setValue(31);
        QCOMPARE(takeTransactions(), (Transactions{{0xF8, 0xA5}, {0xF8, 0x7F}}));
    }

    void portFailureInAHandlerStopsAtThatWrite()
    {
        recording::failAtWrite(40);
        window->select("poweron");
        QCOMPARE(window->failures, 1);
        QCOMPARE(recording::writes().size(), 39U); // no stop condition, nothing after
        QVERIFY(selected("poweron"));              // the window shows the requested state
        window->failures = 0;
    }
};

QTEST_MAIN(TestHandlers)
#include "test_handlers.moc"
