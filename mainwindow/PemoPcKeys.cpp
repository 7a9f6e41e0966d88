// Playing two octaves from the PC keyboard, left and right of the split point.
#include "Pemo.h"

#include "settings/Settings.h"
#include "skin/Click.h"
#include "skin/PictureButton.h"
#include "widgets/Klavier.h"

#include <QPushButton>

#include <array>
#include <exception>

namespace {

// Codes that also play an entry until the key map has been read from the settings file: the keys
// of the US layout at the places of German Z, Ö and - (entries leftA, rightBb, rightB). 0: none.
constexpr std::array<int, 24> AlternativeCodes{
    0, 0, 0, 0, 0, 0, 0, 0, 0, 89 /* Y */, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 186 /* OEM 1 */, 191 /* OEM 2 */,
};

bool matches(std::size_t entry, int key, bool mapLoaded)
{
    return key == PcKeyMap[entry] || (!mapLoaded && AlternativeCodes[entry] != 0 && key == AlternativeCodes[entry]);
}

// Entries 0..11 play the octave left of the split point, 12..23 the split point's own octave;
// computed at the moment of the event. May lie above 127 for a split point in octave 10.
int pcKeyNote(std::size_t entry, int splitOctave)
{
    return entry < 12 ? 12 * (splitOctave - 1) + int(entry) : 12 * splitOctave + int(entry) - 12;
}

bool isNote(int note)
{
    return note >= 0 && note <= 127;
}

}   // namespace

// Key is a Windows virtual-key code (0: a key without one). Auto-repeated presses are ignored:
// a held key plays its note once. All entries are tested, so a code in several entries plays all.
void TfrmPemo::FormKeyDown(int Key, bool autoRepeat)
{
    if (autoRepeat || Key <= 0 || !fPcKeysOn)
        return;
    try {
        for (std::size_t i = 0; i < PcKeyMap.size(); ++i) {
            if (!matches(i, Key, fPcKeyMapLoaded))
                continue;
            // The split point (a note of the entry before may have set it) and the velocity as
            // they are now; MIDI input changes them too.
            const TPlayerState state = fPlayer.State();
            const int velocity = state.ChannelSettings.Velocity;
            const int note = pcKeyNote(i, state.SplitOctave);
            // A note above 127 has no key to press: the entry stays up.
            if (!isNote(note))
                continue;
            if (!fPcKeyHeld[i]) {
                fPcKeyHeld[i] = true;
                fPcKeyNotes[i] = note;
                Pemo->PressNote(note, velocity, true);
            }
        }
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

namespace {

// Releases the notes that the held entries named by `which` pressed, as if their keys came up.
template <typename Predicate>
void releaseHeldEntries(TMIDIKeys* keys, std::array<bool, 24>& held, const std::array<int, 24>& pressed,
                        Predicate which)
{
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (!held[i] || !which(i))
            continue;
        held[i] = false;
        keys->ReleaseNote(pressed[i], 127, true);
    }
}

}   // namespace

// Releases also while the PC keyboard is switched off, so that no note stays on.
void TfrmPemo::FormKeyUp(int Key, bool autoRepeat)
{
    if (autoRepeat || Key <= 0)
        return;
    try {
        releaseHeldEntries(Pemo, fPcKeyHeld, fPcKeyNotes,
                           [this, Key](std::size_t i) { return matches(i, Key, fPcKeyMapLoaded); });
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

// The key-ups of held keys will never arrive (the window lost the keyboard focus) or will no
// longer match (the key map is read again): release their notes now, as if the keys came up.
void TfrmPemo::ReleaseHeldPcKeys()
{
    try {
        releaseHeldEntries(Pemo, fPcKeyHeld, fPcKeyNotes, [](std::size_t) { return true; });
    } catch (const std::exception& e) {
        ReportMidiFailure(QString::fromUtf8(e.what()));
    }
}

// In learn mode the button reads the key map from the settings file (every time); otherwise it
// switches the PC keyboard on and off.
void TfrmPemo::bbtnPckeyClick()
{
    if (fPlayer.State().LearnOn) {
        ReleaseHeldPcKeys();
        LoadPcKeyMap();
        fPcKeyMapLoaded = true;
        Act([this] { fPlayer.EndLearning(); });
        return;
    }
    fPcKeysOn = !fPcKeysOn;
    bbtnPckey->setCaption(fPcKeysOn ? QStringLiteral("I") : QStringLiteral("0"));
}

void TfrmPemo::bbtnPckeyMouseLeave()
{
    panelAO->setFocus();
}
