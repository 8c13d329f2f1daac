// The two volume sliders: one operation, two bindings of slider, gain box, frame and labels.
#include "zq7130.h"

#include <QLineEdit>
#include <QSlider>
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

// The slider's own wheel handling never runs: it would act on a slider under the pointer
// without the focus, three positions a notch.
bool ZQ7130::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && (watched == monovol || watched == rightvol)) {
        wheelVolume(*static_cast<QSlider *>(watched), *static_cast<QWheelEvent *>(event));
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
