#include "instrument.h"

#include "control/commands.h"
#include "data_register.h"
#include "status.h"

#include <cstdio>

Instrument::Instrument(QWidget &window, const BoardIdentity &identity)
    : identity(identity.idn())
    , window_(window)
{
}

bool Instrument::apply(const QByteArray &command, Status &status)
{
    if (failed()) {
        refuse(status);
        return false;
    }
    lastSent_ = panelState(window_);
    running_ = &status;
    const QByteArray reply = runCommand(window_, command);
    running_ = nullptr;
    if (reply != "ok") {
        status.push(-200, reply);
        return false;
    }
    return true;
}

QByteArray Instrument::field(const QByteArray &name) const
{
    return stateField(failed() ? lastSent_ : panelState(window_), name);
}

int Instrument::selfTest(Status &status) const
{
    if (failed()) {
        refuse(status);
        return 1;
    }
    const int address = field("address") == "1" ? 0x7D : 0x7C;
    const int result = selfTestDataRegister(std::uint8_t(address));
    if (result != 0) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "no answer from the chip at 0x%02X", address);
        status.push(-241, detail);
    }
    return result;
}

void Instrument::portFailing(const QByteArray &what)
{
    if (failed()) {
        return;
    }
    failure_ = what;
    if (running_ != nullptr) {
        refuse(*running_);
    } else {
        lastSent_ = panelState(window_); // the operator's own setting met the failure
    }
}

void Instrument::refuse(Status &status) const
{
    status.push(-240, failure_);
}
