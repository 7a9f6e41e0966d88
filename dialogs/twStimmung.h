// The key selector "OV Stimmung": transposition by a key of the circle of fifths.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

class QListWidget;
class TPlayer;
class QPlainTextEdit;

// One key of the circle of fifths: the list text (major key, its sharps or flats, the relative
// minor key) and the semitones of its tonic above C, always upward (0..11).
struct TKeyTableRow {
    const char* Text;
    std::uint8_t Offset;
};

// From C through the sharp keys to F sharp, then from G flat through the flat keys to F.
inline constexpr std::array<TKeyTableRow, 13> KeyTable = {{
    {"C dur ( Amoll)", 0},
    {"G dur-1#- (Emoll)", 7},
    {"D dur-2#- (Hmoll)", 2},
    {"A dur-3#- (Fismoll)", 9},
    {"E dur-4#- (Cismoll)", 4},
    {"H dur-5#- (Gismoll)", 11},
    {"Fis dur-6#- (Dismoll)", 6},
    {"Ges dur-6b- (Esmoll)", 6},
    {"Des dur-5b- (Bbmoll)", 1},
    {"As dur-4b- (Fmoll)", 8},
    {"Es dur-3b- (Cmoll)", 3},
    {"Bb dur-2b- (Gmoll)", 10},
    {"F dur-1b- (Dmoll)", 5},
}};

// Sets the player's Transpose, the semitones the note routing adds to every note; nothing else.
// UI thread only.
class TfrmStimmung : public QDialog {
public:
    // `mainWindow` owns the selector and is the window it is placed against.
    TfrmStimmung(QWidget* mainWindow, TPlayer& player);
    ~TfrmStimmung() override;

    // The 13 keys of KeyTable followed by 7 empty items.
    QListWidget* lbStimmung = nullptr;
    // The German key names explained in English.
    QPlainTextEdit* memInt = nullptr;

    // Selects C major, sets Transpose to 0 and writes the memo (run by the constructor).
    void FormCreate();
    // The player chose a list item (mouse or arrow keys); the empty items change nothing.
    void lbStimmungClick();

    // Places the selector with its top at the main window's top, 900 pixels right of the main
    // window's left edge (or as near as fits on the screen), and shows it (not modal).
    // Selection and Transpose stay as they are.
    void placeAndShow();

    static constexpr int EmptyItems = 7;

private:
    QWidget* fMainWindow = nullptr;
    TPlayer& fPlayer;
};

extern TfrmStimmung* frmStimmung;
