// The hint texts of the main window's controls.
#include "HintTexts.h"

#include <iterator>

namespace {

// The controls' hints in the order in which they are assigned. The texts are the program's
// own, spelling included. bbtnPorts keeps its German hint in both languages (set with the
// layout), and the volume slider shows its value once it has moved (tbVolumeChange) until the
// next switch of the language.
// clang-format off
constexpr THintText HintTexts[] = {
    {"slVelocity", "Steuerung der Anschlagstärke\r\nAuto = extern\r\nManu = intern",
     "Control Velocity\r\nAuto = external\r\nManu = internal"},
    {"tbVelocity", "Anschlagstärke\r\nintern / manuell", "Velocity\r\ninternal / manually adjustable"},
    {"tbPanorama", "Balanceeinstellung\r\nLinks .. Rechts", "Control Balance\r\nLeft .. Right"},
    {"tbChorus", "Choreffekt", "Control Chorus"},
    {"tbReverb", "Nachhall", "Control Reverb"},
    {"tbVolume", "Kanallautstärke", "Control Chanelvolume"},
    {"btnKlangAnz", "Anzeige der tatsächlich\r\nerklingenden Töne", "Activate Readout effectively Note"},
    {"btnReset", "Rücksetzen der Anzeige\r\nBeenden aller Töne", "Reset all Notes"},
    {"btnLerne",
     "Lernfunktion für externe Controller\r\n1. Dieser Schalter\r\n2. externen Regler betätigen\r\n"
     "3. internen Regler anklicken",
     "Learn external Controller\r\n1. Click this\r\n2. Move external Controller\r\n3. Click internal Control"},
    {"btnHint", "Ein/Aus dieser Erklärung", "On/Off Hint"},
    {"lblC5", "mittleres C\r\nzur Orientierung", "middle C\r\nfor your guidance"},
    {"panelKB", "Rückt die geklickte Oktave\r\nin die Mitte der Anzeige", "Center Octave"},
    {"Pemo", "Keyboard - spielen mit\r\nl. Maustaste, PC-Tastatur, externes Midigerät",
     "Keyboard - play\r\nl. Left-Click, PC-Keyboard, external MidiKeyboard"},
    {"PemoOM", "Anzeige der Klänge", "Readout effectively Note"},
    {"panelAO", "Blende: Midieinstellungen", "Frame: Midicontrol"},
    {"panelAR", "Blende: Systemeinstellungen", "Frame: Systemcontrol"},
    {"panelAU", "Blende: Spieleinstellungen", "Frame: Playcontrol"},
    {"panelAL", "Blende: Lautstärkeregler", "Frame: Volumecontrol"},
    {"seLKanal", "Midikanal für die linke Keyboardseite\r\nKanal 1..16, 10 ist Drums",
     "MidiChannel left Keyboardside\r\nChannel 1..16, 10 is Drums"},
    {"lblKanal", "Kanaleinstellungen werden beim Wechsel gespeichert",
     "Channelparameter saved automatically on Change"},
    {"btnInstrument", "Intrumententeauswahl\r\nfür den angezeigten linken Kanal",
     "Choosing Intrument\r\n for selected left Channel"},
    {"cbModus", "Keyboardspielmodus", "Playmode"},
    {"btnStimmung", "Keyboardstimmung entsprechend dem Quintenzirkel", "Tune (corresponding circle of fifths)"},
    {"btnSustain", "Schaltet das Haltepedal Ein und Aus\r\n(Klavier rechtes Pedal)",
     "Switch Sustain On or Off\r\n(Piano  right Pedal)"},
    {"btnSetSplit", "Setzt den Splitpunkt für das Keyboard\r\nNach Klick auf dem Keyboard Ton spielen",
     "Set Keyborad-Splitpoint\r\nAfter Click play Note"},
    {"seRkanal", "Midikanal für die rechte Seite\r\nKanalparameter werden Links gesetzt", "MidiChannel right Side"},
    {"seSplitOktave",
     "Für den Splitkanal kann die Oktave nach unten verschoben werden\r\nSo ist eine Überlappung möglich",
     "Splitchannel Octaveshift"},
    {"bbtnPckey", "PC-Tastatur Ein/Aus\r\nOberer Block Oktave links und\r\nUnterer Block Oktave rechts vom Splitpunkt",
     "PC-Keyboard On/Off\r\nLeft and right from Splitpoint"},
    {"btnSpr", "Hintsprache Deutsch / Englisch", "Hintlanguage German / English"},
};
// clang-format on
static_assert(std::size(HintTexts) == 29);

}   // namespace

std::span<const THintText> hintTexts()
{
    return HintTexts;
}
