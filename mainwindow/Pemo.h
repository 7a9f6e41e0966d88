// The main window TfrmPemo: layout, player state hand-off, routing, PC keys, MIDI input,
// navigation and hints. The class is split over several files by concern:
//   Pemo.cpp            layout, life cycle, RefreshControls, dialog buttons, event filter
//   PemoRouting.cpp     note routing, split keyboard, sustain, Reset, readout strip, ending
//                       the sounding notes (the routing and its books: NoteRouter.h)
//   PemoPcKeys.cpp      playing from the PC keyboard
//   PemoMidiIn.cpp      MIDI input, controller sliders, learning
//   PemoNavigation.cpp  keyboard view, covers, mouse wheel
//   PemoHints.cpp       hint texts in German and English
#pragma once

#include "NoteRouter.h"

#include <QEvent>
#include <QWidget>

#include <array>
#include <cstdint>
#include <mutex>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class TMIDIKeys;
class TMKeysO;
class TSlideSwitch;
class TPictureButton;
class TLinkPanel;

// A panel that reports clicks (the covers); mainwindow/ClickPanel.h.
class TClickPanel;
// One controller that a slider (or the sustain button) stands for; PemoMidiIn.cpp.
struct TControllerRow;

class TfrmPemo : public QWidget {
public:
    explicit TfrmPemo(QWidget* parent = nullptr);
    ~TfrmPemo() override;

    // --- controls (names as on the layout) ---
    QFrame* panelBasis = nullptr;
    QFrame* panelIO = nullptr;
    TPictureButton* bbtnPorts = nullptr;
    QFrame* panelVelocity = nullptr;
    TSlideSwitch* slVelocity = nullptr;
    QSlider* tbVelocity = nullptr;
    QLabel* lblVelocity = nullptr;
    QFrame* panelPanorama = nullptr;
    QLabel* lblPanorama = nullptr;
    QSlider* tbPanorama = nullptr;
    QFrame* panelChorus = nullptr;
    QLabel* lblChorus = nullptr;
    QSlider* tbChorus = nullptr;
    QFrame* panelReverb = nullptr;
    QLabel* lblReverb = nullptr;
    QSlider* tbReverb = nullptr;
    QFrame* panelglissando = nullptr;

    QFrame* panelKBview = nullptr;
    QFrame* panelKB = nullptr;
    TMKeysO* PemoOM = nullptr;
    TMIDIKeys* Pemo = nullptr;
    std::array<QLabel*, 10> lblC{};   // lblC0 .. lblC9

    QFrame* panelIU = nullptr;
    QFrame* PanelKanal = nullptr;
    QSpinBox* seLKanal = nullptr;
    QLabel* lblKanal = nullptr;
    QPushButton* btnInstrument = nullptr;
    QComboBox* cbModus = nullptr;
    QPushButton* btnStimmung = nullptr;
    TLinkPanel* sPanel1 = nullptr;
    QPushButton* btnSustain = nullptr;
    TPictureButton* bbtnPckey = nullptr;
    QFrame* PanelSplit = nullptr;
    QLabel* lblSplit = nullptr;
    QPushButton* btnSetSplit = nullptr;
    QSpinBox* seRkanal = nullptr;
    QLabel* lblSplitkanal = nullptr;
    QSpinBox* seSplitOktave = nullptr;
    QLabel* lblSplitoktave = nullptr;

    QFrame* panelIL = nullptr;
    QSlider* tbVolume = nullptr;
    QLabel* lblVolume = nullptr;

    QFrame* panelIR = nullptr;
    QPushButton* btnKlangAnz = nullptr;
    QPushButton* btnReset = nullptr;
    QPushButton* btnLerne = nullptr;
    QPushButton* btnHint = nullptr;
    QPushButton* btnSpr = nullptr;

    TClickPanel* panelAO = nullptr;
    TClickPanel* panelAU = nullptr;
    TClickPanel* panelAR = nullptr;
    TClickPanel* panelAL = nullptr;

    // --- life cycle and dialogs (Pemo.cpp) ---
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormDestroy();
    void RefreshControls();
    void bbtnPortsClick();
    void sPanel1Click();
    void btnInstrumentClick();
    void btnStimmungClick();

    // --- routing (PemoRouting.cpp) ---
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

    // --- PC keyboard (PemoPcKeys.cpp); Key is a Windows virtual-key code ---
    void FormKeyDown(int Key, bool autoRepeat);
    void FormKeyUp(int Key, bool autoRepeat);
    void bbtnPckeyClick();
    void bbtnPckeyMouseLeave();
    // Releases the notes of every held PC key (the window lost the keyboard focus).
    void ReleaseHeldPcKeys();

    // --- MIDI input, sliders, learning (PemoMidiIn.cpp) ---
    // Runs on the MIDI service thread: takes fCriticalSection and posts the message to the UI thread.
    void DoMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    // The handling of one message on the UI thread.
    void HandleMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    void tbVolumeChange();
    void tbPanoramaChange();
    void tbChorusChange();
    void tbReverbChange();
    void tbVelocityChange();
    void slVelocityChanging(QObject* Sender, bool& CanChange);
    void btnLerneClick();

    // --- navigation (PemoNavigation.cpp) ---
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

    // --- hints (PemoHints.cpp) ---
    void ApplyGermanHints();
    void ApplyEnglishHints();
    void btnHintClick();
    void btnSprClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();

    std::mutex* fCriticalSection = nullptr;

    // Concern-private state: each file adds its own block below, headed by the file's name.

    // Pemo.cpp
    // Shows a failure of the window's creation once the message loop runs.
    void ReportWhenShown(const QString& text);
    // True for the first delivery of a key or wheel event, false when it travels on to the parent.
    bool IsFirstDelivery(QWidget* receiver, QEvent* event);
    const QEvent* fPreviewEvent = nullptr;
    QEvent::Type fPreviewType = QEvent::None;
    const QWidget* fPreviewNext = nullptr;   // compared only, never used
    bool fShown = false;   // the window has been shown once

    // PemoRouting.cpp
    // The player's routing settings now.
    TRouting CurrentRouting() const;
    // Ends every note the program has sounding, where its Note On went, and clears the marks,
    // NotesOn and the held PC keys. Every note gets its Note Off also when a send fails; the
    // text of the first failure is returned (empty: none).
    QString EndSoundingNotes();
    // The stored settings of every channel went out: their pedals are as stored.
    void NoteStoredPedals();
    TNoteRouter fRouter;

    // PemoMidiIn.cpp
    void MonitorMidiIn(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    void PlayMidiIn(std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    void ReportMidiFailure(const QString& text);
    void EndLearning();
    void SliderChange(const TControllerRow& row);
    // Brings the sliders and the sustain button into line with ChannelSettings (RefreshControls).
    void RefreshControllers();
    bool fHandlingMidiIn = false;     // HandleMidiInData is running (UI thread)
    bool fMidiInFailed = false;       // a send failed while handling the current message
    bool fShowingMidiError = false;   // a failure is on screen
    QString fLastMidiInError;         // last failure shown from input handling

    // PemoPcKeys.cpp
    // The note each held PC key pressed: its key-up releases that note, wherever the split
    // point has moved since.
    std::array<int, 24> fPcKeyNotes{};

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
