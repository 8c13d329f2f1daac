// What each operator action does: one handler per control, each a fixed assignment to slots
// of the register images followed by one write (none for the address bit), and the reset.
#include "zq7130.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <memory>

namespace {

// Data bits of the mode register, as slots: data bit n is slot 16 - n.
constexpr int kHeadphone3dSlot = 13; // bit 3
constexpr int kSpeaker3dSlot = 14;   // bit 2
constexpr int kCouplingSlot = 15;    // bit 1: 1 = OCL, 0 = C-CUPL
constexpr int kPowerSlot = 16;       // bit 0

// Selects an option from code without running its handler: the caller sends the write.
void select(QRadioButton *button)
{
    const QSignalBlocker quiet(button);
    button->setChecked(true);
}

} // namespace

void ZQ7130::connectHandlers()
{
    const std::pair<QRadioButton *, Handler> options[] = {
        {poweron, &ZQ7130::poweron_Click}, {poweroff, &ZQ7130::poweroff_Click},
        {ls3don, &ZQ7130::ls3don_Click},   {ls3doff, &ZQ7130::ls3doff_Click},
        {hp3don, &ZQ7130::hp3don_Click},   {hp3doff, &ZQ7130::hp3doff_Click},
        {OCL, &ZQ7130::OCL_Click},         {CCUPL, &ZQ7130::CCUPL_Click},
        {addrone, &ZQ7130::addrone_Click}, {addrzero, &ZQ7130::addrzero_Click},
    };
    for (const auto &[option, handler] : options) {
        connectOption(option, handler);
    }
    connect(RESET, &QPushButton::clicked, this, [this] { guarded(&ZQ7130::RESET_Click); });
    connectSlider(monovol, &ZQ7130::monovol_Change);
    connectSlider(rightvol, &ZQ7130::rightvol_Change);
    holdRepeat = new QTimer(this);
    connect(holdRepeat, &QTimer::timeout, this, &ZQ7130::holdStep);
}

// Every position the slider reports runs its handler: dragging, keys, the wheel and clicks on
// the track, and a script's command. A position the operator's hand brought is marked so, just
// before the slider reports it; a slider let go of (by the mouse, or by a command that moves
// it) ends a held click on it.
void ZQ7130::connectSlider(QSlider *slider, Handler handler)
{
    connect(slider, &QAbstractSlider::actionTriggered, this,
            [this, slider] { movedByHand = slider->sliderPosition() != slider->value(); });
    connect(slider, &QSlider::valueChanged, this, [this, handler] { guarded(handler); });
    connect(slider, &QAbstractSlider::sliderReleased, this, [this, slider] {
        if (slider == heldSlider) {
            releaseGroove();
        }
    });
}

// Runs an option's handler each time the operator selects it, by mouse or keyboard. A newly
// selected option runs it as soon as it is selected, before the toolkit repaints the click;
// selecting the option that is already selected runs it again once the click completes.
void ZQ7130::connectOption(QRadioButton *option, Handler handler)
{
    option->installEventFilter(this); // Up and Down: see optionKey()
    auto selectedAtPress = std::make_shared<bool>(false);
    connect(option, &QAbstractButton::pressed, this,
            [option, selectedAtPress] { *selectedAtPress = option->isChecked(); });
    connect(option, &QAbstractButton::toggled, this, [this, handler](bool selected) {
        if (selected) {
            guarded(handler);
        }
    });
    connect(option, &QAbstractButton::clicked, this, [this, handler, selectedAtPress] {
        if (*selectedAtPress) {
            guarded(handler);
        }
    });
}

// Up and Down move within an option group as Left and Right do: both options of a group stand on
// one line, where the toolkit finds no option above or below.
bool ZQ7130::optionKey(QObject *watched, const QEvent &event)
{
    if (event.type() != QEvent::KeyPress || qobject_cast<QRadioButton *>(watched) == nullptr) {
        return false;
    }
    const auto &press = static_cast<const QKeyEvent &>(event);
    if (press.key() != Qt::Key_Up && press.key() != Qt::Key_Down) {
        return false;
    }
    QKeyEvent along(QEvent::KeyPress, press.key() == Qt::Key_Up ? Qt::Key_Left : Qt::Key_Right,
                    press.modifiers(), press.text(), press.isAutoRepeat());
    QCoreApplication::sendEvent(watched, &along);
    return true;
}

// The window's load runs once, after every control exists and before the window appears.
void ZQ7130::showEvent(QShowEvent *event)
{
    if (!loaded) {
        loaded = true;
        guarded(&ZQ7130::Form_Load);
    }
    QWidget::showEvent(event);
}

// The controls already show the start-up state this write gives the chip.
void ZQ7130::Form_Load()
{
    startupWrite();
}

void ZQ7130::poweron_Click()
{
    modeFrame[kPowerSlot] = 1;
    PPort(modeFrame);
}

void ZQ7130::poweroff_Click()
{
    modeFrame[kPowerSlot] = 0;
    PPort(modeFrame);
}

void ZQ7130::ls3don_Click()
{
    modeFrame[kSpeaker3dSlot] = 1;
    PPort(modeFrame);
}

void ZQ7130::ls3doff_Click()
{
    modeFrame[kSpeaker3dSlot] = 0;
    PPort(modeFrame);
}

void ZQ7130::hp3don_Click()
{
    modeFrame[kHeadphone3dSlot] = 1;
    PPort(modeFrame);
}

void ZQ7130::hp3doff_Click()
{
    modeFrame[kHeadphone3dSlot] = 0;
    PPort(modeFrame);
}

void ZQ7130::OCL_Click()
{
    modeFrame[kCouplingSlot] = 1;
    PPort(modeFrame);
}

void ZQ7130::CCUPL_Click()
{
    modeFrame[kCouplingSlot] = 0;
    PPort(modeFrame);
}

void ZQ7130::addrone_Click()
{
    setAddressBit(1);
}

void ZQ7130::addrzero_Click()
{
    setAddressBit(0);
}

// Takes effect with the next write of any of the three frames; sends nothing itself.
// defaultFrame keeps the address bit it was built with.
void ZQ7130::setAddressBit(std::int16_t bit)
{
    speakerFrame[kAddressBitSlot] = bit;
    headphoneFrame[kAddressBitSlot] = bit;
    modeFrame[kAddressBitSlot] = bit;
}

// Returns chip and window to the reset state. Controls change with their notifications
// blocked, so exactly the four writes at the end go out. The address option returns to the one
// the window opened with too, so the window always shows the address the frames send.
void ZQ7130::RESET_Click()
{
    buildResetFrames();
    for (QSlider *slider : {monovol, rightvol}) {
        const QSignalBlocker quiet(slider);
        slider->setValue(0);
    }
    QRadioButton *homeAddress = homeAddressBit == 1 ? addrone : addrzero;
    for (QRadioButton *button : {CCUPL, ls3doff, hp3doff, poweroff, homeAddress}) {
        select(button);
    }
    putTabStopsOnSelectedOptions();
    showGain(*monovol, *hfgainbox, speakerGainLabels[0]);
    showGain(*rightvol, *rgainbox, headphoneGainLabels[0]);
    PPort(speakerFrame);
    PPort(headphoneFrame);
    PPort(modeFrame);
    PPort(defaultFrame);
}
