// The two volume sliders: one operation, two bindings of slider, gain box, frame and labels.
#include "zq7130.h"

#include <QLineEdit>
#include <QSlider>

namespace {
// The 5-bit volume code sits in data bits 4..0: slots 12..16, most significant bit first.
constexpr int kVolumeCodeSlot = 12;
constexpr int kVolumeCodeBits = 5;
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
