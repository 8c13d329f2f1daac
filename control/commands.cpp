#include "commands.h"

#include "controls.h"
#include "restore.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QList>

#include <algorithm>
#include <iterator>
#include <tuple>

namespace {

QByteArray error(const QByteArray &why)
{
    return "error: " + why;
}

// Printable ASCII, and tabs, which count as blanks between words.
bool printableAscii(const QByteArray &line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return (c >= 0x20 && c <= 0x7E) || c == '\t'; });
}

QByteArray state(QWidget &window)
{
    const PanelState present = panelState(window);
    QList<QByteArray> fields;
    for (const OptionCommand &option : kOptions) {
        fields << option.word + ('=' + stateField(present, option.word));
    }
    for (const VolumeCommand &slider : kVolumes) {
        fields << slider.word + ('=' + stateField(present, slider.word))
               << slider.gainField + ('=' + stateField(present, slider.gainField));
    }
    return fields.join(' ');
}

QByteArray run(QWidget &window, const QList<QByteArray> &words)
{
    const QByteArray &verb = words.first();
    if (verb.contains('=')) {
        return restoreState(window, words);
    }
    if (const OptionCommand *option = findOption(verb)) {
        const char *chosen = words.size() == 2 ? optionFor(*option, words[1]) : nullptr;
        if (chosen == nullptr) {
            return error(verb + takes(*option));
        }
        control<QAbstractButton>(window, chosen)->click();
        return "ok";
    }
    for (const VolumeCommand &slider : kVolumes) {
        if (verb == slider.word) {
            const int to = words.size() == 2 ? position(words[1]) : -1;
            if (to < 0) {
                return error(verb + kTakesPosition);
            }
            moveSlider(*control<QSlider>(window, slider.slider), to);
            return "ok";
        }
    }
    if (verb == "default" || verb == "state") {
        if (words.size() != 1) {
            return error(verb + " takes no argument");
        }
        if (verb == "state") {
            return state(window);
        }
        control<QAbstractButton>(window, "RESET")->click();
        return "ok";
    }
    return error("unknown command '" + verb + "'");
}

} // namespace

PanelState panelState(QWidget &window)
{
    static_assert(std::size(kOptions) == std::tuple_size_v<decltype(PanelState::firstChosen)>);
    static_assert(std::size(kVolumes) == std::tuple_size_v<decltype(PanelState::volumes)>);
    PanelState present;
    for (std::size_t at = 0; at < std::size(kOptions); ++at) {
        present.firstChosen[at] =
            control<QAbstractButton>(window, kOptions[at].controls[0])->isChecked();
    }
    for (std::size_t at = 0; at < std::size(kVolumes); ++at) {
        present.volumes[at] = control<QSlider>(window, kVolumes[at].slider)->value();
        present.gains[at] = control<QLineEdit>(window, kVolumes[at].gainBox)->text();
    }
    return present;
}

QByteArray stateField(const PanelState &state, const QByteArray &name)
{
    for (std::size_t at = 0; at < std::size(kOptions); ++at) {
        if (name == kOptions[at].word) {
            return kOptions[at].values[state.firstChosen[at] ? 0 : 1];
        }
    }
    for (std::size_t at = 0; at < std::size(kVolumes); ++at) {
        if (name == kVolumes[at].word) {
            return QByteArray::number(state.volumes[at]);
        }
        if (name == kVolumes[at].gainField) {
            return gainWord(state.gains[at]);
        }
    }
    return {};
}

QByteArray runCommand(QWidget &window, const QByteArray &line)
{
    if (line.size() > kMaxCommandLength) {
        return error("line longer than " + QByteArray::number(kMaxCommandLength) + " bytes");
    }
    if (!printableAscii(line)) {
        return error("only printable ASCII is accepted");
    }
    const QList<QByteArray> words = line.toLower().simplified().split(' ');
    if (words.first().isEmpty()) {
        return error("empty command");
    }
    return run(window, words);
}
