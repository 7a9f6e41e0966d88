// The main window TfrmPemo: a view of the player (player/Player.h). It lays out the controls,
// wires them to the player's actions, translates the PC keys, gives the hints and shows the
// player's display. The class is split over several files by concern:
//   Pemo.ui              the controls: parent, place, size, caption, range, first state
//   Pemo.cpp             what the form cannot say, life cycle, RefreshControls, dialog buttons, event filter
//   PemoRouting.cpp      the keyboard, the split controls, sustain, Reset, the readout strip,
//                        the ending of the sounding notes
//   PemoPcKeys.cpp       playing from the PC keyboard
//   PemoControllers.cpp  the controller sliders and learning
//   PemoNavigation.cpp   keyboard view, covers, mouse wheel
//   PemoHints.cpp        hint texts in German and English
//   PemoDisplay.cpp      the player's display onto the widgets, on the UI thread
//
// Threads: everything runs on the UI thread. MIDI input goes to the player on the MIDI service
// thread; the player asks the window to show its display by a posted event, and the window
// never takes the player's lock itself.
#pragma once

#include "player/Player.h"
#include "ui_Pemo.h"

#include <QEvent>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QTimer;

// The controls are the form's (Pemo.ui), public under the names of the layout.
class TfrmPemo : public QWidget, public Ui::PemoForm {
public:
    // The window shows `player`, which outlives it.
    explicit TfrmPemo(TPlayer& player, QWidget* parent = nullptr);
    ~TfrmPemo() override;

    TPlayer& player() { return fPlayer; }
    const TPlayer& player() const { return fPlayer; }

    // The octave labels lblC0 .. lblC9, by octave.
    std::array<TClickLabel*, 10> lblC{};

    // Life cycle and dialogs (Pemo.cpp).
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormDestroy();
    void RefreshControls();
    void bbtnPortsClick();
    void sPanel1Click();
    void btnInstrumentClick();
    void btnStimmungClick();

    // Routing (PemoRouting.cpp).
    void PemoNoteOn(QObject* Sender, int note, int velocity);
    void PemoNoteOff(QObject* Sender, int note, int velocity);
    void RefreshReadout();
    void cbModusChange();
    void cbModusCloseUp();
    void seLkanalChange();
    void seLKanalMouseLeave();
    void seRkanalChange();
    void seSplitOktaveChange();
    void btnSetSplitClick();
    void btnSustainClick();
    void btnResetClick();
    void btnKlangAnzClick();

    // PC keyboard (PemoPcKeys.cpp); Key is a Windows virtual-key code.
    void FormKeyDown(int Key, bool autoRepeat);
    void FormKeyUp(int Key, bool autoRepeat);
    void bbtnPckeyClick();
    void bbtnPckeyMouseLeave();
    // Releases the notes of every held PC key (the window lost the keyboard focus).
    void ReleaseHeldPcKeys();
    // The PC key map's entry (0..23) is held: its note sounds until its key comes up.
    bool PcKeyHeld(std::size_t entry) const { return fPcKeyHeld[entry]; }

    // Sliders and learning (PemoControllers.cpp).
    void tbVolumeChange();
    void tbPanoramaChange();
    void tbChorusChange();
    void tbReverbChange();
    void tbVelocityChange();
    void slVelocityChanging(QObject* Sender, bool& CanChange);
    void btnLerneClick();

    // Navigation (PemoNavigation.cpp).
    void lblC3Click();
    void lblC4Click();
    void lblC5Click();
    void lblC6Click();
    void lblC7Click();
    void panelAOClick();
    void panelAUClick();
    void panelALClick();
    void panelARClick();
    // Gives the focus to the first wheel target under the global position; does not consume the event.
    void FormMouseWheel(const QPoint& globalPos);

    // Hints (PemoHints.cpp).
    void ApplyGermanHints();
    void ApplyEnglishHints();
    void btnHintClick();
    void btnSprClick();

    // The player's display (PemoDisplay.cpp).
    // Brings the widgets in line with the player's display.
    void SyncWidgets();
    // True when the widgets show every change of the player (none waits for SyncWidgets).
    bool WidgetsUpToDate() const;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();

    TPlayer& fPlayer;

    // Concern-private state: each file adds its own block below, headed by the file's name.

    // Pemo.cpp
    // Shows a failure of the window's creation once the message loop runs.
    void ReportWhenShown(const QString& text);
    // True for the first delivery of a key or wheel event, false when it travels on to the parent.
    bool IsFirstDelivery(QWidget* receiver, QEvent* event);
    const QEvent* fPreviewEvent = nullptr;
    QEvent::Type fPreviewType = QEvent::None;
    const QWidget* fPreviewNext = nullptr;   // compared only, never used
    bool fShownOnce = false;                 // the window has been shown once

    // PemoRouting.cpp
    // Runs one of the player's actions, then brings the widgets in line; a failure that the
    // action raises is raised again after that.
    void Act(const std::function<void()>& action);
    // The player ends every note the program has sounding (TPlayer::EndSoundingNotes); the held
    // PC keys and the fingers on the keyboard are forgotten, their lifts would only repeat the
    // Note Offs.
    std::string EndSoundingNotes(bool monitor = false);
    // Rebuilds the readout strip from these notes.
    void ShowReadout(const std::array<bool, 128>& notes);
    bool fReadoutOn = false;   // the readout strip shows

    // PemoControllers.cpp
    // Shows a failure of the MIDI output (UI thread); no second box while one is up.
    void ReportMidiFailure(const QString& text);
    void SliderChange(TControllerRow row);
    // Brings the sliders and the sustain button into line with the channel settings.
    void RefreshControllers();
    // The player's controller rules compare with the sliders' positions as created.
    void TakeSliderPositions();
    // Puts the slider positions, labels and captions of the display on the widgets.
    void ShowControllers(const TDisplay& now);
    bool fShowingMidiError = false;   // a failure is on screen

    // PemoDisplay.cpp
    // Runs on the MIDI service thread: asks the UI thread to run SyncWidgets, allocating nothing.
    void PostSync();
    // A posted sync, and the syncs that follow it while changes keep coming.
    void SyncPosted();
    void SyncFollowing();
    // Shows the failures that MIDI input met.
    void ReportMidiInFailures();
    QTimer* fSyncTimer = nullptr;   // the next look for changes
    // What SyncWidgets put on the widgets last.
    TDisplay fApplied;

    // PemoPcKeys.cpp
    // The note each held PC key pressed: its key-up releases that note, wherever the split
    // point has moved since.
    std::array<int, 24> fPcKeyNotes{};
    std::array<bool, 24> fPcKeyHeld{};
    bool fPcKeysOn = true;          // the PC keys play
    bool fPcKeyMapLoaded = false;   // the key map has been read from the settings file

    // PemoNavigation.cpp
    // Moves the keyboard strip so that label C`octave` (3..7) starts at the view's middle column.
    void CentreOctave(int octave);

    // PemoHints.cpp
    // Gives the controls their German or English hint texts.
    void ApplyHintTexts(bool german);
};

// The single main window, set by its constructor.
extern TfrmPemo* frmPemo;
// True while the German hints are shown; German after every start.
extern bool HintLanguageGerman;
