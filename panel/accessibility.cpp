// What assistive technology says about each control: the setting it changes, and for each
// volume slider the gain its box shows.
#include "zq7130.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

void ZQ7130::nameControlsForAssistiveTechnology()
{
    const std::pair<QWidget *, const char *> names[] = {
        {Picture1, "ZQ80415 logo"},
        {Frame1, "Loudspeaker 3D"},
        {ls3don, "Loudspeaker 3D on"},
        {ls3doff, "Loudspeaker 3D off"},
        {Frame29, "Chip power"},
        {poweron, "Chip power on"},
        {poweroff, "Chip power off"},
        {Frame28, "Headphone output coupling"},
        {OCL, "Headphone output coupling OCL"},
        {CCUPL, "Headphone output coupling C-CUPL"},
        {Frame2, "Headphone 3D"},
        {hp3don, "Headphone 3D on"},
        {hp3doff, "Headphone 3D off"},
        {addr, "I2C address bit"},
        {addrone, "I2C address bit 1 (device 0x7D)"},
        {addrzero, "I2C address bit 0 (device 0x7C)"},
        {Frame30, "Volume controls"},
        {Frame32, "Loudspeaker volume control"},
        {monovol, "Loudspeaker volume"},
        {hfgainbox, "Loudspeaker gain"},
        {Frame33, "Headphone volume control"},
        {rightvol, "Headphone volume"},
        {rgainbox, "Headphone gain"},
        {RESET, "Default: reset chip and panel"},
    };
    for (const auto &[control, name] : names) {
        control->setAccessibleName(QString::fromLatin1(name));
    }
}

// Shows a gain in the box beside a slider, and tells it with the slider.
void ZQ7130::showGain(QSlider &slider, QLineEdit &gainBox, const char *label)
{
    gainBox.setText(QString::fromLatin1(label));
    slider.setAccessibleDescription(QStringLiteral("Gain ") + QString::fromLatin1(label).trimmed());
}
