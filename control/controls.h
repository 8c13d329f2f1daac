// The window's controls as the commands name them, found by their object names: each option
// with its two values and the option each selects, each volume slider with its gain box and
// gain labels; and how a command works them, as the operator would.
#pragma once

#include "panel/gain_labels.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QSlider>
#include <QString>
#include <QWidget>

#include <algorithm>

struct OptionCommand {
    const char *word;
    const char *values[2];
    const char *controls[2];
};

// In the order the state line gives them.
inline constexpr OptionCommand kOptions[] = {
    {"power", {"on", "off"}, {"poweron", "poweroff"}},
    {"speaker-3d", {"on", "off"}, {"ls3don", "ls3doff"}},
    {"headphone-3d", {"on", "off"}, {"hp3don", "hp3doff"}},
    {"coupling", {"ocl", "c-cupl"}, {"OCL", "CCUPL"}},
    {"address", {"0", "1"}, {"addrzero", "addrone"}},
};

// The option command named `word`, or nullptr.
inline const OptionCommand *findOption(const QByteArray &word)
{
    const auto *found =
        std::find_if(std::begin(kOptions), std::end(kOptions),
                     [&](const OptionCommand &option) { return word == option.word; });
    return found == std::end(kOptions) ? nullptr : found;
}

// The option that `value` of `option` selects, or nullptr when it is not one of its values.
inline const char *optionFor(const OptionCommand &option, const QByteArray &value)
{
    return value == option.values[0]   ? option.controls[0]
           : value == option.values[1] ? option.controls[1]
                                       : nullptr;
}

// Why a value was refused, after the command's or field's name.
inline QByteArray takes(const OptionCommand &option)
{
    return QByteArray(" takes ") + option.values[0] + " or " + option.values[1];
}
inline constexpr const char *kTakesPosition = " takes a position from 0 to 31";

struct VolumeCommand {
    const char *word;
    const char *slider;
    const char *gainField;
    const char *gainBox;
    const GainLabels *labels;
};

inline constexpr VolumeCommand kVolumes[] = {
    {"speaker-volume", "monovol", "speaker-gain", "hfgainbox", &speakerGainLabels},
    {"headphone-volume", "rightvol", "headphone-gain", "rgainbox", &headphoneGainLabels},
};

// The window's control of that name. A search of the whole window is costly, and its controls
// stay as they are for its life, so each is looked up once and kept; one that is gone, or
// belongs to another window, is looked up again.
template <class Control = QWidget> Control *control(QWidget &window, const char *name)
{
    static QHash<QByteArray, QPointer<Control>> found;
    QPointer<Control> &kept = found[QByteArray(name)];
    if (kept.isNull() || !window.isAncestorOf(kept)) {
        kept = window.findChild<Control *>(QLatin1String(name));
    }
    return kept.data();
}

// A position 0..31 written in decimal digits, or -1.
inline int position(const QByteArray &word)
{
    bool number = false;
    const int value = word.size() <= 2 ? word.toInt(&number) : -1;
    const bool digits =
        std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
    return number && digits && value <= 31 ? value : -1;
}

// A gain as the state line gives it: the gain box's text without blanks and unit.
inline QByteArray gainWord(QString shown)
{
    return shown.remove(' ').remove(QLatin1String("dB")).toLatin1();
}

// Moves the slider to `to` in one write; at the position already, reports it once more, so a
// script can repeat a setting. A drag or held click on it ends first: the slider is let go of,
// so the operator's pointer does not undo the command.
inline void moveSlider(QSlider &slider, int to)
{
    slider.setSliderDown(false);
    if (slider.value() == to) {
        Q_EMIT slider.valueChanged(to);
    } else {
        slider.setValue(to);
    }
}
