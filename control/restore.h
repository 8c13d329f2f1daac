// The state line as a command: "power=on speaker-volume=11 ...", any of the state line's
// fields in any order, sets each named control as a click or a slider move would, so a setup
// saved with `state` is restored by sending it back.
#pragma once

#include <QByteArray>
#include <QList>

class QWidget;

// Checks every field first: an unknown or repeated field, a value the field does not take, a
// gain without its volume or other than that volume's gain is refused with "error: " and why,
// and nothing is written. Otherwise selects the address first, so every write goes to the
// address restored; then power when the line turns it off; speaker-3d, headphone-3d and
// coupling; the loudspeaker and headphone volumes; and power last when the line turns it on.
// Each goes out with the write it makes even when already so set; the reply is "ok".
QByteArray restoreState(QWidget &window, const QList<QByteArray> &words);
