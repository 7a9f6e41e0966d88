#include "PlayerState.h"

std::mutex PlayerStateLock;

std::uint8_t LeftChannel = 0;
std::uint8_t RightChannel = 0;
std::uint8_t SplitNote = 60;
std::uint8_t SplitOctave = 5;
std::uint8_t SplitChannelOctave = 5;
bool SplitArmed = false;
std::uint8_t Transpose = 0;
bool SustainOn = false;
bool ReadoutOn = false;
bool ManualVelocity = false;
bool LearnOn = false;
std::uint8_t LearnedController = 0;
bool PcKeysOn = true;
bool PcKeyMapLoaded = false;
std::array<bool, 24> PcKeyHeld{};

void ResetPlayerState()
{
    LeftChannel = 0;
    RightChannel = 0;
    SplitNote = 60;
    SplitOctave = 5;
    SplitChannelOctave = 5;
    SplitArmed = false;
    Transpose = 0;
    SustainOn = false;
    ReadoutOn = false;
    ManualVelocity = false;
    LearnOn = false;
    LearnedController = 0;
    PcKeysOn = true;
    PcKeyMapLoaded = false;
    PcKeyHeld.fill(false);
}
