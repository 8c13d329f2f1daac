// The four register images the window owns: filled whole at start-up and at reset, each with
// the address bit the window opened with.
#include "zq7130.h"

void ZQ7130::buildStartupFrames()
{
    speakerFrame = kSpeakerStartup;
    headphoneFrame = kHeadphoneStartup;
    modeFrame = kModeStartup;
    defaultFrame = kDefaultStartup;
    setAddressBit(homeAddressBit);
    defaultFrame[kAddressBitSlot] = homeAddressBit;
}

void ZQ7130::buildResetFrames()
{
    speakerFrame = kSpeakerReset;
    headphoneFrame = kHeadphoneReset;
    modeFrame = kModeReset;
    defaultFrame = kDefaultReset;
    setAddressBit(homeAddressBit);
    defaultFrame[kAddressBitSlot] = homeAddressBit;
}

// Brings the chip to the state the window shows when it opens, after freeing the bus from
// whatever an earlier run that was killed mid-write left on it. defaultFrame is built but only
// reset sends it.
void ZQ7130::startupWrite()
{
    buildStartupFrames();
    I2C_RECOVER();
    PPort(speakerFrame);
    PPort(headphoneFrame);
    PPort(modeFrame);
}
