// The gain each volume slider position gives, as shown beside the slider. Labels are looked
// up by position, never formatted: the steps are uneven below position 9.
#pragma once

#include <array>

using GainLabels = std::array<const char *, 32>;

inline constexpr GainLabels speakerGainLabels{
    "-47.0 dB", "-36.0 dB", "-28.5 dB", "-22.5 dB", "-18.0 dB", "-15.0 dB", "-12.0 dB", "-9.0 dB",
    "-6.0 dB",  "-3.0 dB",  "-1.5 dB",  " 0.0 dB",  " 1.5 dB",  " 3.0 dB",  " 4.5 dB",  " 6.0 dB",
    " 7.5 dB",  " 9.0 dB",  " 10.5 dB", " 12.0 dB", " 13.5 dB", " 15.0 dB", " 16.5 dB", " 18.0 dB",
    " 19.5 dB", " 21.0 dB", " 22.5 dB", " 24.0 dB", " 25.5 dB", " 27.0 dB", " 28.5 dB", " 30.0 dB",
};

inline constexpr GainLabels headphoneGainLabels{
    "-59.0 dB", "-49.5 dB", "-42.0 dB", "-34.5 dB", "-30.5 dB", "-27.0 dB", "-24.0 dB", "-21.0 dB",
    "-18.0 dB", "-15.0 dB", "-13.5 dB", "-12.0 dB", "-10.5 dB", "-9.0 dB",  "-7.5 dB",  "-6.0 dB",
    "-4.5 dB",  "-3.0 dB",  "-1.5 dB",  " 0.0 dB",  " 1.5 dB",  " 3.0 dB",  " 4.5 dB",  " 6.0 dB",
    " 7.5 dB",  " 9.0 dB",  " 10.5 dB", " 12.0 dB", " 13.5 dB", " 15.0 dB", " 16.5 dB", " 18.0 dB",
};
