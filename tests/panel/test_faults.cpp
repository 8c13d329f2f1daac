// A port that fails at any one write, across every write of the start-up, an option change, a
// volume change and a reset: the action stops at that write, nothing after it reaches the
// port, the failure path runs once, and the window holds what the action had done so far.
#include "panel_under_test.h"
#include "recording_port.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <functional>
#include <memory>

namespace {

struct Scenario {
    const char *name;
    bool showFirst; // the start-up happens before the action
    std::function<void(PanelUnderTest &)> prepare;
    std::function<void(PanelUnderTest &)> act;
    std::function<bool(PanelUnderTest &)> leftAsDescribed; // checked after the failure
};

bool checked(const PanelUnderTest &w, const char *name)
{
    return w.control<QRadioButton>(name)->isChecked();
}

QString text(const PanelUnderTest &w, const char *name)
{
    return w.control<QLineEdit>(name)->text();
}

const Scenario kScenarios[] = {
    {"start-up", false, [](PanelUnderTest &) {}, [](PanelUnderTest &w) { w.show(); },
     [](PanelUnderTest &w) {
         return checked(w, "poweroff") && text(w, "hfgainbox") == "-47.0 dB";
     }},
    {"option", true, [](PanelUnderTest &) {}, [](PanelUnderTest &w) { w.select("poweron"); },
     [](PanelUnderTest &w) { return checked(w, "poweron"); }},
    {"volume", true, [](PanelUnderTest &) {},
     [](PanelUnderTest &w) { w.control<QSlider>("monovol")->setValue(11); },
     [](PanelUnderTest &w) { return text(w, "hfgainbox") == " 0.0 dB"; }},
    {"reset", true,
     [](PanelUnderTest &w) {
         w.select("poweron");
         w.select("addrone");
         w.control<QSlider>("rightvol")->setValue(20);
     },
     [](PanelUnderTest &w) { QTest::mouseClick(w.control<QPushButton>("RESET"), Qt::LeftButton); },
     // Every control is restored before the first of the four writes.
     [](PanelUnderTest &w) {
         return checked(w, "poweroff") && checked(w, "addrzero") &&
                w.control<QSlider>("rightvol")->value() == 0 && text(w, "rgainbox") == "-59.0 dB";
     }},
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

    // The bytes the action writes with a healthy port.
    static std::vector<std::uint8_t> healthyRun(const Scenario &scenario)
    {
        PanelUnderTest window;
        if (scenario.showFirst) {
            window.show();
        }
        scenario.prepare(window);
        recording::clear();
        scenario.act(window);
        return recording::bytes();
    }

private slots:
    void everyWriteCanFail()
    {
        for (const Scenario &scenario : kScenarios) {
            const std::vector<std::uint8_t> whole = healthyRun(scenario);
            QVERIFY2(!whole.empty() && whole.back() == 0x3F, scenario.name);
            for (std::size_t failing = 1; failing <= whole.size(); ++failing) {
                auto window = std::make_unique<PanelUnderTest>();
                if (scenario.showFirst) {
                    window->show();
                }
                scenario.prepare(*window);
                recording::clear();
                recording::failAtWrite(failing);
                scenario.act(*window);
                const std::vector<std::uint8_t> prefix(whole.begin(),
                                                       whole.begin() + long(failing) - 1);
                const QByteArray where = QByteArray(scenario.name) + " failing at write " +
                                         QByteArray::number(qulonglong(failing));
                QVERIFY2(recording::bytes() == prefix, where);
                QVERIFY2(window->failures == 1, where);
                QVERIFY2(scenario.leftAsDescribed(*window), where);
            }
        }
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
