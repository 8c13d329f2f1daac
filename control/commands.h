// The control socket's commands, one a line, run against the window's own controls: an option
// is selected, a slider moved, the " DEFAULT" button clicked, exactly as the operator does, so
// the handlers stay the one path to the port and the window always shows what the chip was
// sent.
#pragma once

#include <QByteArray>

class QWidget;

inline constexpr int kMaxCommandLength = 256;

// Runs one command line (without its line end) on `window` and returns the reply line (without
// its line end): "ok", the state, or "error: " and why, in which case nothing was written.
QByteArray runCommand(QWidget &window, const QByteArray &line);
