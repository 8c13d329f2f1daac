// The window's controls as the commands name them, found by their object names: each option
// with its two values and the option each selects, each volume slider with its gain box and
// gain labels; and how a command works them, as the operator would.
#pragma once

#include "panel/gain_labels.h"

#include <QByteArray>
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

template <class Control = QWidget> Control *control(QWidget &window, const char *name)
{
    return window.findChild<Control *>(QLatin1String(name));
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

// Moves the slider as the operator would; at the position already, reports it once more, so a
// script can repeat a setting.
inline void moveSlider(QSlider &slider, int to)
{
    if (slider.value() == to) {
        Q_EMIT slider.valueChanged(to);
    } else {
        slider.setValue(to);
    }
}
