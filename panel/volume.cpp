// The two volume sliders: one operation, two bindings of slider, gain box, frame and labels.
#include "zq7130.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QStyle>
#include <QWheelEvent>

namespace {
// The 5-bit volume code sits in data bits 4..0: slots 12..16, most significant bit first.
constexpr int kVolumeCodeSlot = 12;
constexpr int kVolumeCodeBits = 5;
constexpr int kWheelNotch = 120; // angle delta of one wheel notch, in eighths of a degree
} // namespace

// The code is the slider position. A position outside the label table (possible only if the
// slider's range were widened) changes nothing, and the frame goes out as it stands.
void ZQ7130::applyVolume(QSlider &slider, QLineEdit &gainBox, BitFrame &frame,
                         const GainLabels &labels)
{
    const int position = slider.value();
    if (position >= 0 && position < static_cast<int>(labels.size())) {
        for (int bit = 0; bit < kVolumeCodeBits; ++bit) {
            const int weight = kVolumeCodeBits - 1 - bit;
            frame[kVolumeCodeSlot + bit] = static_cast<std::int16_t>((position >> weight) & 1);
        }
        showGain(slider, gainBox, labels[position]);
    }
    PPort(frame);
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
// without the focus, three positions a notch.
bool ZQ7130::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != monovol && watched != rightvol) {
        return QWidget::eventFilter(watched, event);
    }
    auto &slider = *static_cast<QSlider *>(watched);
    if (event->type() == QEvent::Wheel) {
        wheelVolume(slider, *static_cast<QWheelEvent *>(event));
        return true;
    }
    if (jumpsTooFar(slider, *event)) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
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
