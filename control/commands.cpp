#include "commands.h"

#include "controls.h"
#include "restore.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QList>

#include <algorithm>

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
    const auto chosen = [&](const OptionCommand &option) {
        const bool first = control<QAbstractButton>(window, option.controls[0])->isChecked();
        return QByteArray(option.word) + '=' + option.values[first ? 0 : 1];
    };
    const auto gain = [&](const char *box) {
        return gainWord(control<QLineEdit>(window, box)->text());
    };
    const auto volume = [&](const char *slider) {
        return QByteArray::number(control<QSlider>(window, slider)->value());
    };
    QList<QByteArray> fields;
    for (const OptionCommand &option : kOptions) {
        fields << chosen(option);
    }
    for (const VolumeCommand &slider : kVolumes) {
        fields << slider.word + ('=' + volume(slider.slider))
               << slider.gainField + ('=' + gain(slider.gainBox));
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
