// The panel as the SCPI server's clients see it: every setting runs as the control socket's
// command on the window's own controls (control/commands.h), so the window shows what the
// chip was sent; every query reads a state-line field from its control. Once the port has
// failed nothing more runs: settings are refused with -240 and queries answer from the setting
// as it was before the write that failed.
#pragma once

#include "control/commands.h"
#include "session/identity.h"

#include <QByteArray>

class QWidget;
class Status;

class Instrument {
public:
    Instrument(QWidget &window, const BoardIdentity &identity);

    // Runs `command` (a control-socket command) for a client whose status is `status`; false,
    // with the error queued there, when the port has failed or the command was refused.
    bool apply(const QByteArray &command, Status &status);
    // The present value of a state-line field ("power" gives "on" or "off").
    QByteArray field(const QByteArray &name) const;
    // *TST?: 0 when the chip (or on the parallel port, the port) answers.
    int selfTest(Status &status) const;

    // The port failed with `what`: the client whose setting met it gets -240 now.
    void portFailing(const QByteArray &what);
    bool failed() const { return !failure_.isEmpty(); }
    void refuse(Status &status) const;

    const QByteArray identity; // *IDN?'s answer

private:
    QWidget &window_;
    QByteArray failure_;
    PanelState lastSent_;       // the setting before the one that runs or failed
    Status *running_ = nullptr; // the client whose setting runs now
};
