// IEEE 488.2's common commands and SCPI-1999's required SYSTem and STATus commands.
#include "device_tree.h"

namespace {

QByteArray number(int value)
{
    return QByteArray::number(value);
}

void identify(Call &call)
{
    call.respondIndefinite(call.instrument.identity);
}

void reset(Call &call)
{
    call.instrument.apply("default", call.status);
}

void clearStatus(Call &call)
{
    call.status.clear();
}

// A register's 8-bit mask (*ESE, *SRE) or SCPI's 16-bit enable, bit 15 never set.
bool readMask(Call &call, int high, int &mask)
{
    return call.readInteger(0, 0, high, 0, -1, mask);
}

void setEventEnable(Call &call)
{
    readMask(call, 255, call.status.eventEnable);
}
void askEventEnable(Call &call)
{
    call.respond(number(call.status.eventEnable));
}
void askEvents(Call &call)
{
    call.respond(number(call.status.takeEvents()));
}
void setServiceEnable(Call &call)
{
    if (readMask(call, 255, call.status.serviceEnable)) {
        call.status.serviceEnable &= ~(1 << 6);
    }
}
void askServiceEnable(Call &call)
{
    call.respond(number(call.status.serviceEnable));
}
void askStatusByte(Call &call)
{
    call.respond(number(call.status.statusByte()));
}

// Every setting is complete once its unit has run: the writes are out before the next starts.
void operationComplete(Call &call)
{
    call.status.operationComplete();
}
void askOperationComplete(Call &call)
{
    call.respond("1");
}
void wait(Call &) {}

void selfTest(Call &call)
{
    call.respond(number(call.instrument.selfTest(call.status)));
}

// A message that sets the present setting when sent back: the address first, as it decides
// where every other write goes, then the options and the volumes; power goes first when it is
// off and last when it is on, so the chip is never powered at a louder setting than both the one
// it leaves and the one it is given.
void learn(Call &call)
{
    const Instrument &board = call.instrument;
    const auto on = [&](const char *field) { return board.field(field) == "on" ? "1" : "0"; };
    const bool powered = board.field("power") == "on";
    call.respond(":ADDR " + board.field("address") + (powered ? "" : ";:POW 0") + ";:SPE:SURR " +
                 on("speaker-3d") + ";:HEAD:SURR " + on("headphone-3d") + ";:HEAD:COUP " +
                 (board.field("coupling") == "ocl" ? "OCL" : "CCUP") + ";:SPE:VOL " +
                 board.field("speaker-volume") + ";:HEAD:VOL " + board.field("headphone-volume") +
                 (powered ? ";:POW 1" : ""));
}

void nextError(Call &call)
{
    call.respond(call.status.next());
}
void errorCount(Call &call)
{
    call.respond(number(call.status.count()));
}
void version(Call &call)
{
    call.respond("1999.0");
}

template <StatusRegister Status::*reg> void askEvent(Call &call)
{
    call.respond(number((call.status.*reg).takeEvent()));
}
template <StatusRegister Status::*reg> void askCondition(Call &call)
{
    call.respond(number((call.status.*reg).condition));
}
template <StatusRegister Status::*reg> void setEnable(Call &call)
{
    readMask(call, 32767, (call.status.*reg).enable);
}
template <StatusRegister Status::*reg> void askEnable(Call &call)
{
    call.respond(number((call.status.*reg).enable));
}

// SCPI-1999's list of every header, one a line, in a definite-length block: a header that is
// both a command and a query once, a query alone marked /qonly/, a command alone /nquery/. The
// board's own come first, as in the manual.
void helpHeaders(Call &call)
{
    QList<QByteArray> headers;
    QList<int> kinds; // bit 0: a command, bit 1: a query
    for (const QList<TreeEntry> *entries : {&kDeviceEntries, &kCommonEntries}) {
        for (const TreeEntry &entry : *entries) {
            QByteArray header(entry.pattern);
            const bool query = header.endsWith('?');
            header.chop(query ? 1 : 0);
            qsizetype at = headers.indexOf(header);
            if (at < 0) {
                at = headers.size();
                headers << header;
                kinds << 0;
            }
            kinds[at] |= query ? 2 : 1;
        }
    }
    QByteArray lines;
    for (qsizetype at = 0; at < headers.size(); ++at) {
        const char *marks[] = {"", "/nquery/", "?/qonly/", ""};
        lines += headers[at] + marks[kinds[at]] + '\n';
    }
    const QByteArray length = QByteArray::number(lines.size());
    call.respond('#' + QByteArray::number(length.size()) + length + lines);
}

// SCPI's preset: the OPERation and QUEStionable enables cleared.
void preset(Call &call)
{
    call.status.operation.enable = 0;
    call.status.questionable.enable = 0;
}

} // namespace

const QList<TreeEntry> kCommonEntries = {
    {"*IDN?", 0, 0, identify},
    {"*RST", 0, 0, reset},
    {"*CLS", 0, 0, clearStatus},
    {"*ESE", 1, 1, setEventEnable},
    {"*ESE?", 0, 0, askEventEnable},
    {"*ESR?", 0, 0, askEvents},
    {"*SRE", 1, 1, setServiceEnable},
    {"*SRE?", 0, 0, askServiceEnable},
    {"*STB?", 0, 0, askStatusByte},
    {"*OPC", 0, 0, operationComplete},
    {"*OPC?", 0, 0, askOperationComplete},
    {"*WAI", 0, 0, wait},
    {"*TST?", 0, 0, selfTest},
    {"*LRN?", 0, 0, learn},
    {"SYSTem:ERRor[:NEXT]?", 0, 0, nextError},
    {"SYSTem:ERRor:COUNt?", 0, 0, errorCount},
    {"SYSTem:VERSion?", 0, 0, version},
    {"SYSTem:HELP:HEADers?", 0, 0, helpHeaders},
    {"STATus:OPERation[:EVENt]?", 0, 0, askEvent<&Status::operation>},
    {"STATus:OPERation:CONDition?", 0, 0, askCondition<&Status::operation>},
    {"STATus:OPERation:ENABle", 1, 1, setEnable<&Status::operation>},
    {"STATus:OPERation:ENABle?", 0, 0, askEnable<&Status::operation>},
    {"STATus:QUEStionable[:EVENt]?", 0, 0, askEvent<&Status::questionable>},
    {"STATus:QUEStionable:CONDition?", 0, 0, askCondition<&Status::questionable>},
    {"STATus:QUEStionable:ENABle", 1, 1, setEnable<&Status::questionable>},
    {"STATus:QUEStionable:ENABle?", 0, 0, askEnable<&Status::questionable>},
    {"STATus:PRESet", 0, 0, preset},
};
