// The control socket's commands, one a line, run against the window's own controls: an option
// is selected, a slider moved, the " DEFAULT" button clicked, exactly as the operator does, so
// the handlers stay the one path to the port and the window always shows what the chip was
// sent.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>

class QWidget;

inline constexpr int kMaxCommandLength = 256;

// Runs one command line (without its line end) on `window` and returns the reply line (without
// its line end): "ok", the state, or "error: " and why, in which case nothing was written.
QByteArray runCommand(QWidget &window, const QByteArray &line);

// The window's setting as its controls hold it: each option's choice (true for its first
// value) and each slider's position and gain box text, in the state line's order. Taken in a
// fraction of the time the state line takes to write out.
struct PanelState {
    std::array<bool, 5> firstChosen{};
    std::array<int, 2> volumes{};
    std::array<QString, 2> gains;
};
PanelState panelState(QWidget &window);

// One field of the state line ("power" gives "on" or "off"); empty for a name it does not have.
QByteArray stateField(const PanelState &state, const QByteArray &name);
