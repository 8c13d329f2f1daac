// The two volume sliders: one operation, two bindings of slider, gain box, frame and labels.
#include "zq7130.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QWheelEvent>

#include <utility>

namespace {
// The 5-bit volume code sits in data bits 4..0: slots 12..16, most significant bit first.
constexpr int kVolumeCodeSlot = 12;
constexpr int kVolumeCodeBits = 5;
constexpr int kWheelNotch = 120; // angle delta of one wheel notch, in eighths of a degree
// A held click on the groove steps a page at once, then, after a pause, a page each interval.
constexpr int kHoldPauseMs = 500;
constexpr int kHoldIntervalMs = 50;

// The volume code a volume frame holds.
int codeIn(const BitFrame &frame)
{
    int code = 0;
    for (int bit = 0; bit < kVolumeCodeBits; ++bit) {
        code = code << 1 | (frame[kVolumeCodeSlot + bit] == 1 ? 1 : 0);
    }
    return code;
}

QStyleOptionSlider styleOption(const QSlider &slider)
{
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    option.singleStep = slider.singleStep();
    option.pageStep = slider.pageStep();
    option.tickPosition = slider.tickPosition();
    option.tickInterval = slider.tickInterval();
    option.upsideDown = slider.invertedAppearance() != (option.direction == Qt::RightToLeft);
    if (slider.orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    return option;
}

// The position whose handle would be centred under `point`, as the slider itself reckons it.
int positionUnder(const QSlider &slider, const QPoint &point)
{
    const QStyleOptionSlider option = styleOption(slider);
    QStyle *style = slider.style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, &slider);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
    const int span = groove.width() - handle.width();
    return QStyle::sliderValueFromPosition(slider.minimum(), slider.maximum(),
                                           point.x() - handle.width() / 2 - groove.x(), span,
                                           option.upsideDown);
}

bool onGroove(const QSlider &slider, const QPoint &point)
{
    const QStyleOptionSlider option = styleOption(slider);
    return slider.style()->hitTestComplexControl(QStyle::CC_Slider, &option, point, &slider) ==
           QStyle::SC_SliderGroove;
}
} // namespace

// The code is the slider position. A position the operator's hand reached (a key, a drag, a
// click or hold on the groove, the wheel) is approached one position a write, from the one the
// frame holds, so each position passed goes out in order and no write moves the volume by more
// than one; a position set from code (a script's command, the reset) goes out in one write. A
// position outside the label table (possible only if the slider's range were widened) changes
// nothing, and the frame goes out as it stands.
void ZQ7130::applyVolume(QSlider &slider, QLineEdit &gainBox, BitFrame &frame,
                         const GainLabels &labels)
{
    const int position = slider.value();
    const bool stepping = std::exchange(movedByHand, false);
    if (position < 0 || position >= static_cast<int>(labels.size())) {
        PPort(frame);
        return;
    }
    int code = stepping ? codeIn(frame) : position;
    for (;;) {
        code += (position > code) - (position < code);
        for (int bit = 0; bit < kVolumeCodeBits; ++bit) {
            const int weight = kVolumeCodeBits - 1 - bit;
            frame[kVolumeCodeSlot + bit] = static_cast<std::int16_t>((code >> weight) & 1);
        }
        showGain(slider, gainBox, labels[code]);
        PPort(frame);
        if (code == position) {
            return;
        }
    }
}

void ZQ7130::monovol_Change()
{
    applyVolume(*monovol, *hfgainbox, speakerFrame, speakerGainLabels);
}

void ZQ7130::rightvol_Change()
{
    applyVolume(*rightvol, *rgainbox, headphoneFrame, headphoneGainLabels);
}

// No single key or click may move a volume further than Page Up or Down does (5 positions):
// with speakers on the amplifier a jump from -47 dB to +30 dB is a hazard. So Home and End do
// nothing, and the buttons the style lets jump the handle to the pointer (the middle button)
// do nothing on a slider either; a click on the groove with the others steps a page.
bool ZQ7130::jumpsTooFar(const QSlider &slider, const QEvent &event) const
{
    switch (event.type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<const QKeyEvent &>(event).key();
        return key == Qt::Key_Home || key == Qt::Key_End;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto jumping = static_cast<Qt::MouseButtons>(
            slider.style()->styleHint(QStyle::SH_Slider_AbsoluteSetButtons, nullptr, &slider));
        return (static_cast<const QMouseEvent &>(event).button() & jumping) != 0;
    }
    default:
        return false;
    }
}

// The slider's own wheel handling never runs either: it would act on a slider under the pointer
// without the focus, three positions a notch. Nor does its own repeat of a held click on the
// groove, which jumps to the pointer once it is near: the panel holds the click itself. And a
// handle the operator no longer holds (a script moved the slider mid-drag) follows the pointer
// no further: the drag's motion is dropped until the handle is taken again.
bool ZQ7130::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != monovol && watched != rightvol) {
        return optionKey(watched, *event) || QWidget::eventFilter(watched, event);
    }
    auto &slider = *static_cast<QSlider *>(watched);
    switch (event->type()) {
    case QEvent::Wheel:
        wheelVolume(slider, *static_cast<QWheelEvent *>(event));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (jumpsTooFar(slider, *event) ||
            holdOnGroove(slider, *static_cast<QMouseEvent *>(event))) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (&slider == heldSlider) {
            releaseGroove();
        }
        return QWidget::eventFilter(watched, event);
    case QEvent::MouseMove:
        return !slider.isSliderDown();
    default:
        if (jumpsTooFar(slider, *event)) {
            event->accept();
            return true;
        }
        return QWidget::eventFilter(watched, event);
    }
}

// A left click on the groove beside the handle steps a page towards the pointer at once, then
// a page each interval while the button is held, each step stopping at the position under the
// pointer, never beyond it. The slider counts as held down meanwhile, so a script's command
// that moves it ends the hold as it ends a drag.
bool ZQ7130::holdOnGroove(QSlider &slider, const QMouseEvent &event)
{
    const auto paging = static_cast<Qt::MouseButtons>(
        slider.style()->styleHint(QStyle::SH_Slider_PageSetButtons, nullptr, &slider));
    const QPoint point = event.position().toPoint();
    if ((event.button() & paging) == 0 || !onGroove(slider, point)) {
        return false;
    }
    heldSlider = &slider;
    heldTarget = positionUnder(slider, point);
    slider.setSliderDown(true);
    holdStep();
    if (heldSlider != nullptr) {
        holdRepeat->start(kHoldPauseMs);
    }
    return true;
}

void ZQ7130::holdStep()
{
    QSlider *slider = heldSlider;
    if (slider == nullptr || reportingFailure) {
        releaseGroove(); // nothing may move a slider whose position cannot be written
        return;
    }
    const int from = slider->value();
    const int step = std::min(slider->pageStep(), std::abs(heldTarget - from));
    if (step == 0) {
        releaseGroove();
        return;
    }
    holdRepeat->setInterval(kHoldIntervalMs);
    slider->setSliderPosition(heldTarget > from ? from + step : from - step);
}

void ZQ7130::releaseGroove()
{
    holdRepeat->stop();
    if (QSlider *slider = std::exchange(heldSlider, nullptr)) {
        slider->setSliderDown(false);
    }
}

// One position a notch, and only on the slider that has the keyboard focus, so a wheel turned
// while the pointer passes over the window changes no volume. Each position goes out as a key
// press's does, through the slider's own step.
void ZQ7130::wheelVolume(QSlider &slider, QWheelEvent &event)
{
    event.accept();
    if (!slider.hasFocus()) {
        wheelRest = 0;
        return;
    }
    const QPoint delta = event.angleDelta();
    const int turn = delta.y() != 0 ? delta.y() : -delta.x(); // rightwards scrolls are negative
    wheelRest += event.inverted() ? -turn : turn;
    for (; wheelRest >= kWheelNotch; wheelRest -= kWheelNotch) {
        slider.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    for (; wheelRest <= -kWheelNotch; wheelRest += kWheelNotch) {
        slider.triggerAction(QAbstractSlider::SliderSingleStepSub);
    }
}
