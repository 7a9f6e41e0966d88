// The wire length of short messages, which every service needs.
#include "MidiService.h"

namespace tarv {

int shortMessageLength(std::uint8_t status)
{
    if (status < 0x80)
        return 1;   // a lone data byte (running status is never produced here)
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;   // note off/on, poly pressure, controller, pitch bend
    if (status < 0xE0)
        return 2;   // program change, channel pressure
    switch (status) {
    case 0xF1:   // MTC quarter frame
    case 0xF3:   // song select
        return 2;
    case 0xF2:   // song position
        return 3;
    default:   // 0xF0/0xF7 alone, tune request, real-time messages, undefined ones
        return 1;
    }
}

}   // namespace tarv
