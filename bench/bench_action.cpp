// Operator action to bus: the time from just before a click, button release or key press is
// delivered to the panel's widgets to the arrival, at an instant port, of the last port write
// of the register writes it causes, against the paced floor of those port writes at one hold
// time each.
#include "hold_floor.h"
#include "instant_port.h"
#include "panel_operator.h"
#include "samples.h"

#include <QApplication>
#include <QPushButton>
#include <QSlider>

#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 2000;

struct ActionKind {
    const char *name;
    int registerWrites;                  // that each action causes
    std::function<void(int run)> before; // untimed: what precedes the timed event, if anything
    std::function<void(int run)> act;    // timed
};

// Times kRuns actions of one kind. The event loop runs between them, untimed, as it does
// between an operator's actions, so repaints they schedule do not pile up.
std::vector<double> timeActions(const ActionKind &kind)
{
    const std::uint64_t expected = std::uint64_t(kind.registerWrites) * kPortWritesPerRegisterWrite;
    std::vector<double> micros;
    micros.reserve(kRuns);
    for (int run = 0; run < kRuns; ++run) {
        QCoreApplication::processEvents();
        const std::uint64_t writesBefore = instantPort().writes;
        if (kind.before) {
            kind.before(run);
        }
        const auto begin = InstantPortRecord::Clock::now();
        kind.act(run);
        const std::uint64_t writes = instantPort().writes - writesBefore;
        if (writes != expected) {
            benchFailed(qPrintable(QStringLiteral("a %1 caused %2 port writes, not %3")
                                       .arg(QLatin1String(kind.name))
                                       .arg(writes)
                                       .arg(expected)));
        }
        const std::chrono::duration<double, std::micro> took = instantPort().latest - begin;
        micros.push_back(took.count());
    }
    return micros;
}

void report(const ActionKind &kind, const std::vector<double> &micros)
{
    const Spread took = spread(micros);
    const double floor = kind.registerWrites * kPortWritesPerRegisterWrite *
                         std::chrono::duration<double, std::micro>(kHoldFloor).count();
    std::printf("%-17s %d register write(s), %d runs: median %6.1f us, min %6.1f us, "
                "floor %4.0f us, median/floor %.3f\n",
                kind.name, kind.registerWrites, kRuns, took.median, took.min, floor,
                took.median / floor);
}

} // namespace

int main(int argc, char *argv[])
{
    PanelOnScreen panel(argc, argv);
    ZQ7130 &window = panel.window;

    // The eight options that write; the address options only change the next write's address.
    std::vector<QRadioButton *> options;
    for (const char *name :
         {"poweron", "poweroff", "ls3don", "ls3doff", "hp3don", "hp3doff", "OCL", "CCUPL"}) {
        options.push_back(control<QRadioButton>(window, name));
    }
    auto *monovol = control<QSlider>(window, "monovol");
    auto *reset = control<QPushButton>(window, "RESET");
    // A click writes on the button's release. Timed from the press, it also carries the
    // press's handling, which in a real click happens while the operator holds the button.
    const auto option = [&](int run) { return options[run % options.size()]; };
    const ActionKind kinds[] = {
        {"option click", 1, {}, [&](int run) { clickOption(option(run)); }},
        {"option release", 1,
         [&](int run) {
             QTest::mousePress(option(run), Qt::LeftButton, {}, indicator(option(run)));
         },
         [&](int run) {
             QTest::mouseRelease(option(run), Qt::LeftButton, {}, indicator(option(run)));
         }},
        {"slider arrow key",
         1,
         {},
         [&](int run) { QTest::keyClick(monovol, run % 2 == 0 ? Qt::Key_Right : Qt::Key_Left); }},
        {"DEFAULT click", 4, {}, [&](int) { QTest::mouseClick(reset, Qt::LeftButton); }},
        {"DEFAULT release", 4, [&](int) { QTest::mousePress(reset, Qt::LeftButton); },
         [&](int) { QTest::mouseRelease(reset, Qt::LeftButton); }},
    };
    std::printf("operator action to its last port write, instant port, QT_QPA_PLATFORM=%s\n",
                qgetenv("QT_QPA_PLATFORM").constData());
    for (const ActionKind &kind : kinds) {
        report(kind, timeActions(kind));
    }
    return 0;
}
