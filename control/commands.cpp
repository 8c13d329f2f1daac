#include "commands.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QList>
#include <QSlider>
#include <QWidget>

#include <algorithm>

namespace {

// Each option command: its word, and each value with the option that selecting it selects.
struct OptionCommand {
    const char *word;
    const char *values[2];
    const char *controls[2];
};

constexpr OptionCommand kOptions[] = {
    {"power", {"on", "off"}, {"poweron", "poweroff"}},
    {"speaker-3d", {"on", "off"}, {"ls3don", "ls3doff"}},
    {"headphone-3d", {"on", "off"}, {"hp3don", "hp3doff"}},
    {"coupling", {"ocl", "c-cupl"}, {"OCL", "CCUPL"}},
    {"address", {"0", "1"}, {"addrzero", "addrone"}},
};

constexpr std::pair<const char *, const char *> kVolumes[] = {
    {"speaker-volume", "monovol"},
    {"headphone-volume", "rightvol"},
};

template <class Control = QWidget> Control *control(QWidget &window, const char *name)
{
    return window.findChild<Control *>(QLatin1String(name));
}

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

// A position 0..31 written in decimal digits, or -1.
int position(const QByteArray &word)
{
    bool number = false;
    const int value = word.size() <= 2 ? word.toInt(&number) : -1;
    const bool digits =
        std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
    return number && digits && value <= 31 ? value : -1;
}

// Moves the slider as the operator would; at the position already, reports it once more, so a
// script can repeat a setting.
void moveSlider(QSlider &slider, int to)
{
    if (slider.value() == to) {
        Q_EMIT slider.valueChanged(to);
    } else {
        slider.setValue(to);
    }
}

QByteArray state(QWidget &window)
{
    const auto chosen = [&](const OptionCommand &option) {
        const bool first = control<QAbstractButton>(window, option.controls[0])->isChecked();
        return QByteArray(option.word) + '=' + option.values[first ? 0 : 1];
    };
    const auto gain = [&](const char *box) {
        return control<QLineEdit>(window, box)->text().remove(' ').remove("dB").toLatin1();
    };
    const auto volume = [&](const char *slider) {
        return QByteArray::number(control<QSlider>(window, slider)->value());
    };
    QList<QByteArray> fields;
    for (const OptionCommand &option : kOptions) {
        fields << chosen(option);
    }
    fields << "speaker-volume=" + volume("monovol") << "speaker-gain=" + gain("hfgainbox")
           << "headphone-volume=" + volume("rightvol") << "headphone-gain=" + gain("rgainbox");
    return fields.join(' ');
}

QByteArray run(QWidget &window, const QList<QByteArray> &words)
{
    const QByteArray &verb = words.first();
    for (const OptionCommand &option : kOptions) {
        if (verb != option.word) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (words.size() == 2 && words[1] == option.values[i]) {
                control<QAbstractButton>(window, option.controls[i])->click();
                return "ok";
            }
        }
        return error(verb + " takes " + option.values[0] + " or " + option.values[1]);
    }
    for (const auto &[word, slider] : kVolumes) {
        if (verb == word) {
            const int to = words.size() == 2 ? position(words[1]) : -1;
            if (to < 0) {
                return error(verb + " takes a position from 0 to 31");
            }
            moveSlider(*control<QSlider>(window, slider), to);
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
