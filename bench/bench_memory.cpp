// Memory over a long session: 10,000 operator actions in a random but repeatable order, worked
// through the real widgets, with the resident memory printed as they go and the port writes
// they caused counted.
#include "instant_port.h"
#include "panel_operator.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <array>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kActions = 10'000;
constexpr int kCheckpoint = 2'000;
constexpr std::uint32_t kSeed = 80415;

long residentKb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    benchFailed("no VmRSS in /proc/self/status");
}

struct Controls {
    std::vector<QRadioButton *> options;
    std::array<QSlider *, 2> sliders;
    std::array<QLineEdit *, 2> gainBoxes;
    QPushButton *reset;
};

Controls findControls(const ZQ7130 &window)
{
    Controls found{
        {},
        {control<QSlider>(window, "monovol"), control<QSlider>(window, "rightvol")},
        {control<QLineEdit>(window, "hfgainbox"), control<QLineEdit>(window, "rgainbox")},
        control<QPushButton>(window, "RESET")};
    for (const char *name : {"poweron", "poweroff", "ls3don", "ls3doff", "hp3don", "hp3doff", "OCL",
                             "CCUPL", "addrone", "addrzero"}) {
        found.options.push_back(control<QRadioButton>(window, name));
    }
    return found;
}

// One action drawn from rng: mostly options and slider keys, now and then the " DEFAULT"
// button or a few characters typed into a gain box. Only the generator's raw output is used,
// which the standard fixes, so every library gives the same order.
void act(const Controls &controls, std::mt19937 &rng)
{
    static constexpr Qt::Key kSliderKeys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp,
                                              Qt::Key_PageDown};
    const std::uint32_t draw = rng() % 100;
    if (draw < 50) {
        clickOption(controls.options[rng() % controls.options.size()]);
    } else if (draw < 90) {
        QTest::keyClick(controls.sliders[rng() % 2], kSliderKeys[rng() % 4]);
    } else if (draw < 95) {
        QTest::mouseClick(controls.reset, Qt::LeftButton);
    } else {
        QTest::keyClicks(controls.gainBoxes[rng() % 2], QStringLiteral("-6 dB"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    PanelOnScreen panel(argc, argv);
    ZQ7130 &window = panel.window;
    const Controls controls = findControls(window);
    QCoreApplication::processEvents();

    // The start-up write (recovery preamble included) is not an operator action: count from here.
    const std::uint64_t startWrites = instantPort().writes;
    std::mt19937 rng(kSeed);
    const long startKb = residentKb();
    std::printf("resident memory over %d operator actions (seed %u), QT_QPA_PLATFORM=%s\n",
                kActions, kSeed, qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("  start:        VmRSS %6ld kB\n", startKb);
    for (int done = 1; done <= kActions; ++done) {
        act(controls, rng);
        // The event loop runs between actions, as it does between an operator's.
        QCoreApplication::processEvents();
        if (done % kCheckpoint == 0) {
            std::printf("  after %6d: VmRSS %6ld kB\n", done, residentKb());
        }
    }
    const std::uint64_t writes = instantPort().writes - startWrites;
    if (writes % kPortWritesPerRegisterWrite != 0) {
        benchFailed("a register write was cut short");
    }
    std::printf("  end - start: %+ld kB; port writes %llu (%llu register writes)\n",
                residentKb() - startKb, static_cast<unsigned long long>(writes),
                static_cast<unsigned long long>(writes / kPortWritesPerRegisterWrite));
    return 0;
}
