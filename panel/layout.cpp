// The window's controls, placed as designed. Positions and sizes are written in twips
// (1/1440 inch) exactly as designed and converted to logical pixels at 15 twips each; a
// child's Left/Top are measured from its group box's outer edge, caption line included.
#include "zq7130.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleFactory>

namespace {

constexpr int px(int twips)
{
    return (twips + 7) / 15; // nearest logical pixel
}

QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

template <class Control>
Control *place(QWidget *parent, const char *name, const QRect &geometry, const QString &text = {})
{
    auto *control = new Control(text, parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

QRadioButton *option(QGroupBox *group, const char *name, const char *caption, int left, int width,
                     int height, bool selected)
{
    auto *button = place<QRadioButton>(group, name, twips(left, 360, width, height), caption);
    button->setChecked(selected);
    // Opaque, so that repainting a clicked option does not repaint its group box too, and
    // filled with its group's colour: a button's own role (Button) is another grey in many
    // palettes, a dark one especially.
    button->setAutoFillBackground(true);
    button->setBackgroundRole(QPalette::Window);
    return button;
}

QSlider *volumeSlider(QGroupBox *group, const char *name)
{
    auto *slider = new QSlider(Qt::Horizontal, group);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setGeometry(twips(120, 240, 5535, 375));
    slider->setRange(0, 31);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    return slider;
}

QLineEdit *gainBox(QGroupBox *group, const char *name)
{
    auto *box = place<QLineEdit>(group, name, twips(5640, 240, 855, 285));
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Shows the gain the chip was sent and nothing else; the text can still be selected and
    // copied, and the box keeps its Tab stop.
    box->setReadOnly(true);
    return box;
}

} // namespace

ZQ7130::ZQ7130(std::int16_t addressBit, QWidget *parent)
    : QWidget(parent)
    , homeAddressBit(addressBit)
{
    setObjectName(QStringLiteral("ZQ7130"));
    setWindowTitle(QStringLiteral("ZQ80415 Audio Program v1.2 "));
    setWindowIcon(QIcon(QStringLiteral(":/assets/icon.png")));
    setFixedSize(px(8385), px(4785));
    createTopBand();
    createMiddleBand();
    createVolumeBand();
    setTabOrderAsDesigned();
    applyLook();
    nameControlsForAssistiveTechnology();
    connectHandlers();
}

void ZQ7130::createTopBand()
{
    Picture1 = place<QLabel>(this, "Picture1", twips(120, 0, 3345, 1080));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/assets/logo.bmp")));

    Frame1 = place<QGroupBox>(this, "Frame1", twips(3600, 240, 2295, 855), "LOUDSPEAKER 3D");
    ls3don = option(Frame1, "ls3don", "ON", 240, 855, 255, false);
    ls3doff = option(Frame1, "ls3doff", "OFF", 1200, 615, 255, true);

    Frame29 = place<QGroupBox>(this, "Frame29", twips(6000, 240, 2295, 855), "CHIP POWER-ON");
    poweron = option(Frame29, "poweron", "ON", 360, 615, 255, false);
    poweroff = option(Frame29, "poweroff", "OFF", 1320, 615, 255, true);
}

void ZQ7130::createMiddleBand()
{
    Frame28 =
        place<QGroupBox>(this, "Frame28", twips(120, 1320, 3375, 855), "HEADPHONE OUTPUT COUPLING");
    OCL = option(Frame28, "OCL", "OCL", 600, 855, 255, false);
    CCUPL = option(Frame28, "CCUPL", "C-CUPL", 1800, 975, 255, true);

    Frame2 = place<QGroupBox>(this, "Frame2", twips(3600, 1320, 2295, 855), "HEADPHONE 3D ");
    hp3don = option(Frame2, "hp3don", "ON", 240, 735, 255, false);
    hp3doff = option(Frame2, "hp3doff", "OFF", 1200, 735, 255, true);

    addr = place<QGroupBox>(this, "addr", twips(6000, 1320, 2295, 855), "I2C ADDRESS BIT");
    addrone = option(addr, "addrone", "1", 360, 612, 192, homeAddressBit == 1);
    addrzero = option(addr, "addrzero", "0", 1320, 495, 192, homeAddressBit != 1);
}

void ZQ7130::createVolumeBand()
{
    Frame30 = place<QGroupBox>(this, "Frame30", twips(120, 2280, 7095, 2415), "VOLUME CONTROLS");

    Frame32 = place<QGroupBox>(Frame30, "Frame32", twips(240, 480, 6615, 735),
                               "LOUDSPEAKER VOLUME CONTROL");
    monovol = volumeSlider(Frame32, "monovol");
    hfgainbox = gainBox(Frame32, "hfgainbox");
    showGain(*monovol, *hfgainbox, speakerGainLabels[0]);

    Frame33 = place<QGroupBox>(Frame30, "Frame33", twips(240, 1440, 6615, 735),
                               "HEADPHONE VOLUME CONTROL");
    rightvol = volumeSlider(Frame33, "rightvol");
    monovol->installEventFilter(this); // the wheel, Home, End: see eventFilter()
    rightvol->installEventFilter(this);
    rgainbox = gainBox(Frame33, "rgainbox");
    showGain(*rightvol, *rgainbox, headphoneGainLabels[0]);

    RESET = place<QPushButton>(this, "RESET", twips(7320, 2520, 975, 2055), " DEFAULT");
    RESET->setAutoDefault(false);
    RESET->setDefault(false);
}

// The focus moves through the controls in their designed order; the logo and the group boxes
// hold places in that order but never take the focus.
void ZQ7130::setTabOrderAsDesigned()
{
    QWidget *const order[] = {RESET,    addrzero, addrone, OCL,      CCUPL,
                              poweron,  poweroff, monovol, rightvol, hfgainbox,
                              rgainbox, ls3don,   ls3doff, hp3don,   hp3doff};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    RESET->setFocus();
    putTabStopsOnSelectedOptions();
}

// Tab enters each option group at its selected option and the arrow keys move within it.
// Qt moves a group's one Tab stop to whichever option takes the focus; this starts it right.
void ZQ7130::putTabStopsOnSelectedOptions()
{
    for (QRadioButton *option : findChildren<QRadioButton *>()) {
        option->setFocusPolicy(option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

// The classic flat style draws each group box's caption on its frame line, which the designed
// geometry assumes (the sliders sit 16 pixels below the group box's top edge), and with an
// 11-pixel font every caption fits its control, the 13-pixel address buttons included.
void ZQ7130::applyLook()
{
    auto *classic = QStyleFactory::create(QStringLiteral("Windows"));
    classic->setParent(this);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);
    setStyle(classic);
    for (QWidget *control : findChildren<QWidget *>()) {
        control->setStyle(classic);
    }
}
