#include "device_tree.h"

#include <vector>

namespace {

// Each output as the state line names its fields, and its volume's reset position.
struct Output {
    const char *volume;
    const char *gain;
    const char *threeD;
};
constexpr Output kSpeaker{"speaker-volume", "speaker-gain", "speaker-3d"};
constexpr Output kHeadphone{"headphone-volume", "headphone-gain", "headphone-3d"};

QByteArray boolean(const QByteArray &stateValue)
{
    return stateValue == "on" ? "1" : "0";
}

void setPower(Call &call)
{
    bool on = false;
    if (call.readBoolean(0, on)) {
        call.instrument.apply(on ? "power on" : "power off", call.status);
    }
}

void askPower(Call &call)
{
    call.respond(boolean(call.instrument.field("power")));
}

template <const Output &output> void setVolume(Call &call)
{
    const int present = call.instrument.field(output.volume).toInt();
    int to = 0;
    if (call.readInteger(0, 0, 31, 0, present, to)) {
        call.instrument.apply(QByteArray(output.volume) + ' ' + QByteArray::number(to),
                              call.status);
    }
}

// With MIN, MAX or DEF: that position; without: the present one.
template <const Output &output> void askVolume(Call &call)
{
    int position = 0;
    if (call.unit.parameters.isEmpty()) {
        call.respond(call.instrument.field(output.volume));
    } else if (call.readInteger(0, 0, 31, 0, -1, position)) {
        call.respond(QByteArray::number(position));
    }
}

template <const Output &output> void askGain(Call &call)
{
    call.respond(call.instrument.field(output.gain));
}

template <const Output &output> void setThreeD(Call &call)
{
    bool on = false;
    if (call.readBoolean(0, on)) {
        call.instrument.apply(QByteArray(output.threeD) + (on ? " on" : " off"), call.status);
    }
}

template <const Output &output> void askThreeD(Call &call)
{
    call.respond(boolean(call.instrument.field(output.threeD)));
}

void setCoupling(Call &call)
{
    int choice = 0;
    if (call.readChoice(0, {"OCL", "CCUPl"}, choice)) {
        call.instrument.apply(choice == 0 ? "coupling ocl" : "coupling c-cupl", call.status);
    }
}

void askCoupling(Call &call)
{
    call.respond(call.instrument.field("coupling") == "ocl" ? "OCL" : "CCUP");
}

void setAddress(Call &call)
{
    int bit = 0;
    if (call.readInteger(0, 0, 1, 0, -1, bit)) {
        call.instrument.apply(bit == 1 ? "address 1" : "address 0", call.status);
    }
}

void askAddress(Call &call)
{
    call.respond(call.instrument.field("address"));
}

struct Compiled {
    TreePattern pattern;
    const TreeEntry *entry;
};

std::vector<Compiled> compiledTree()
{
    std::vector<Compiled> tree;
    for (const QList<TreeEntry> *entries : {&kCommonEntries, &kDeviceEntries}) {
        for (const TreeEntry &entry : *entries) {
            tree.push_back({compilePattern(entry.pattern), &entry});
        }
    }
    return tree;
}

} // namespace

const QList<TreeEntry> kDeviceEntries = {
    {"POWer[:STATe]", 1, 1, setPower},
    {"POWer[:STATe]?", 0, 0, askPower},
    {"SPEaker:VOLume[:LEVel]", 1, 1, setVolume<kSpeaker>},
    {"SPEaker:VOLume[:LEVel]?", 0, 1, askVolume<kSpeaker>},
    {"SPEaker:GAIN?", 0, 0, askGain<kSpeaker>},
    {"SPEaker:SURRound[:STATe]", 1, 1, setThreeD<kSpeaker>},
    {"SPEaker:SURRound[:STATe]?", 0, 0, askThreeD<kSpeaker>},
    {"HEADphone:VOLume[:LEVel]", 1, 1, setVolume<kHeadphone>},
    {"HEADphone:VOLume[:LEVel]?", 0, 1, askVolume<kHeadphone>},
    {"HEADphone:GAIN?", 0, 0, askGain<kHeadphone>},
    {"HEADphone:SURRound[:STATe]", 1, 1, setThreeD<kHeadphone>},
    {"HEADphone:SURRound[:STATe]?", 0, 0, askThreeD<kHeadphone>},
    {"HEADphone:COUPling", 1, 1, setCoupling},
    {"HEADphone:COUPling?", 0, 0, askCoupling},
    {"ADDRess[:BIT]", 1, 1, setAddress},
    {"ADDRess[:BIT]?", 0, 0, askAddress},
};

const TreeEntry *findEntry(const QList<QByteArray> &mnemonics, bool query)
{
    static const std::vector<Compiled> tree = compiledTree();
    for (const Compiled &compiled : tree) {
        if (matchesPattern(compiled.pattern, mnemonics, query)) {
            return compiled.entry;
        }
    }
    return nullptr;
}
