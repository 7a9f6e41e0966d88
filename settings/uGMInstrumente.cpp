#include "uGMInstrumente.h"

static_assert(static_cast<int>(TGMInstrument::Gunshot) == GMInstrumentCount - 1);

// Spelled exactly as the enumeration members, "FXatmophere" included.
// clang-format off
const std::array<const char*, GMInstrumentCount> GMInstrumentNames = {
    "AcousticGrandPiano", "BrightAcousticPiano", "ElectricGrandPiano", "HonkyTonkPiano", "RhodesPiano",
    "ChorusedPiano", "Harpsichord", "Clavinet", "Celesta", "Glockenspiel",
    "MusicBox", "Vibraphone", "Marimba", "Xylophone", "TubularBells",
    "Dulcimer", "HammondOrgan", "PercussiveOrgan", "RockOrgan", "ChurchOrgan",
    "ReedOrgan", "Accordion", "Harmonica", "TangoAccordion", "AcousticGuitarNylon",
    "AcousticGuitarSteel", "ElectricGuitarJazz", "ElectricGuitarClean", "ElectricGuitarMuted", "OverdrivenGuitar",
    "DistortionGuitar", "GuitarHarmonics", "AcousticBass", "ElectricBassFinger", "ElectricBassPick",
    "FretlessBass", "SlapBass1", "SlapBass2", "SynthBass1", "SynthBass2",
    "Violin", "Viola", "Cello", "Contrabass", "TremoloStrings",
    "PizzicatoStrings", "OrchestralHarp", "Timpani", "StringEnsemble1", "StringEnsemble2",
    "SynthStrings1", "SynthStrings2", "ChoirAahs", "VoiceOohs", "SynthVoice",
    "OrchestraHit", "Trumpet", "Trombone", "Tuba", "MutedTrumpet",
    "FrenchHorn", "BrassSection", "SynthBrass1", "SynthBrass2", "SopranoSax",
    "AltoSax", "TenorSax", "BaritoneSax", "Oboe", "EnglishHorn",
    "Bassoon", "Clarinet", "Piccolo", "Flute", "Recorder",
    "PanFlute", "BottleBlow", "Shakuhachi", "Whistle", "Ocarina",
    "Lead1Square", "Lead2Sawtooth", "Lead3CalliopeLead", "Lead4ChiffLead", "Lead5Charang",
    "Lead6Voice", "Lead7Fifths", "Lead8BrassLead", "PadNewAge", "PadWarm",
    "PadPolysynth", "PadChoir", "PadBowed", "PadMetallic", "PadHalo",
    "PadSweep", "FXrain", "FXsoundtrack", "FXcrystal", "FXatmophere",
    "FXbrightness", "FXgoblins", "FXechoes", "FXscifi", "Sitar",
    "Banjo", "Shamisen", "Koto", "Kalimba", "Bagpipe",
    "Fiddle", "Shanai", "TinkleBell", "AgogoBells", "SteelDrums",
    "Woodblock", "TaikoDrum", "MelodicTom", "SynthDrum", "ReverseCymbal",
    "GuitarFretNoise", "BreathNoise", "Seashore", "BirdTweet", "TelephoneRing",
    "Helicopter", "Applause", "Gunshot",
};
// clang-format on

const char* GMInstrumentName(int ordinal)
{
    if (ordinal < 0 || ordinal >= GMInstrumentCount)
        return "";
    return GMInstrumentNames[ordinal];
}

const char* GMInstrumentName(TGMInstrument instrument)
{
    return GMInstrumentName(static_cast<int>(instrument));
}
