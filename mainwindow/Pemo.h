// The main window TfrmPemo: layout, player state hand-off, routing, PC keys, MIDI input,
// navigation and hints. The class is split over several files by concern:
//   Pemo.cpp            layout, life cycle, RefreshControls, dialog buttons, event filter
//   PemoRouting.cpp     note routing, split keyboard, sustain, Reset, readout strip, ending
//                       the sounding notes (the routing and its books: NoteRouter.h)
//   PemoPcKeys.cpp      playing from the PC keyboard
//   PemoMidiIn.cpp      MIDI input, controller sliders, learning
//   PemoNavigation.cpp  keyboard view, covers, mouse wheel
//   PemoHints.cpp       hint texts in German and English
//   PemoShown.cpp       what the widgets show: the state both threads leave for them under the
//                       lock, and its way onto the widgets on the UI thread
//
// Threads: DoMidiInData runs on the MIDI service thread; everything else runs on the UI thread.
// The state that both share (PlayerState, the settings records, NotesOn, the note router, the
// shown state) changes only under fCriticalSection; the widgets are touched on the UI thread only.
#pragma once

#include "NoteRouter.h"
#include "settings/PlayerState.h"

#include <QEvent>
#include <QString>
#include <QWidget>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class TMIDIKeys;
class TMKeysO;
class TSlideSwitch;
class TPictureButton;
class TLinkPanel;
class TModusComboBox;
// A panel and a label that report clicks (the covers, the octave labels); skin/Click.h.
class TClickPanel;
class TClickLabel;
// One controller that a slider (or the sustain button) stands for; PemoMidiIn.cpp.
struct TControllerRow;

class TfrmPemo : public QWidget {
public:
    explicit TfrmPemo(QWidget* parent = nullptr);
    ~TfrmPemo() override;

    // Controls, named as on the layout.
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
    std::array<TClickLabel*, 10> lblC{};   // lblC0 .. lblC9

    QFrame* panelIU = nullptr;
    QFrame* PanelKanal = nullptr;
    QSpinBox* seLKanal = nullptr;
    QLabel* lblKanal = nullptr;
    QPushButton* btnInstrument = nullptr;
    TModusComboBox* cbModus = nullptr;
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

    // MIDI input, sliders, learning (PemoMidiIn.cpp).
    // Runs on the MIDI service thread (any thread may call it): handles the message under
    // fCriticalSection (rules, routing, sends) and leaves what the widgets must show for the UI
    // thread (PemoShown.cpp). Never touches a widget, never waits for the UI thread, lets no
    // exception out.
    void DoMidiInData(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
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

    // Shown state (PemoShown.cpp).
    // Brings the widgets in line with the state that the handlers of both threads left for them.
    void SyncWidgets();
    // True when the widgets show every change of the shared state (none waits for SyncWidgets).
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

    // The one lock of the state shared with MIDI input (settings/PlayerState.h), which the dialogs
    // take too. Held only for changes of that state and for sends; never while a widget is
    // touched, a file is read or written or an input port closes.
    std::mutex& fCriticalSection = PlayerStateLock;

    // Concern-private state: each file adds its own block below, headed by the file's name.

    // Pemo.cpp
    // Shows a failure of the window's creation once the message loop runs.
    void ReportWhenShown(const QString& text);
    // True for the first delivery of a key or wheel event, false when it travels on to the parent.
    bool IsFirstDelivery(QWidget* receiver, QEvent* event);
    const QEvent* fPreviewEvent = nullptr;
    QEvent::Type fPreviewType = QEvent::None;
    const QWidget* fPreviewNext = nullptr;   // compared only, never used
    bool fShown = false;                     // the window has been shown once

    // PemoRouting.cpp
    // The player's routing settings now (lock held).
    TRouting CurrentRouting() const;
    // A key of Pemo went down or came up (lock held): its mark, the split point, the routing.
    void NoteOnLocked(int note, int velocity);
    void NoteOffLocked(int note, int velocity);
    // btnSustain's work, or the learn assignment (lock held).
    void SustainClickLocked();
    // Runs `change` under fCriticalSection (UI thread), then brings the widgets in line; a
    // failure that `change` raises is raised again after that.
    void ChangeShared(const std::function<void()>& change);
    // Ends every note the program has sounding, where its Note On went, and clears the marks,
    // NotesOn and the held PC keys. Every note gets its Note Off also when a send fails; the
    // text of the first failure is returned (empty: none). With `monitor`, MIDI input turns to
    // the port dialog's monitor in the same step (PortDialogShowing), so that no note that input
    // starts slips in between the ending and the showing of the dialog.
    QString EndSoundingNotes(bool monitor = false);
    // The stored settings of every channel went out: their pedals are as stored.
    void NoteStoredPedals();
    TNoteRouter fRouter;

    // PemoMidiIn.cpp
    // The handling of one message (lock held).
    void MonitorMidiIn(int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    void PlayMidiIn(std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2);
    // A failure met by input handling (lock held): shown once, until a message goes through.
    void NoteMidiInFailure(const char* text);
    // Shows a failure of the MIDI output (UI thread); no second box while one is up.
    void ReportMidiFailure(const QString& text);
    void EndLearning();
    // The slider's position becomes `position` (lock held); only a real change runs the
    // change handler's work: in learn mode the binding, otherwise the value and its send.
    void MoveSliderLocked(const TControllerRow& row, int position);
    void SliderChange(const TControllerRow& row);
    // Brings the sliders and the sustain button into line with ChannelSettings (RefreshControls).
    void RefreshControllers();
    // The controller rules compare with the sliders' positions as created (before input runs).
    void TakeSliderPositions();
    bool fShowingMidiError = false;   // a failure is on screen (UI thread)
    std::string fLastMidiInError;     // last failure of input handling (lock held)

    // PemoShown.cpp
    static constexpr std::size_t ControllerCount = 6;   // rows of the controller table
    // What the widgets show, as the handlers of both threads leave it (lock held). Together with
    // SustainOn, LearnOn, the split point and NotesOn it is all that the widgets show of the state.
    struct TShown {
        std::bitset<128> keys;   // the marks on Pemo
        // Per controller row: the slider's position (the mirror the controller rules compare
        // with), the value its label shows and how often the label has been set.
        std::array<std::uint8_t, ControllerCount> positions{};
        std::array<std::uint8_t, ControllerCount> values{};
        std::array<std::uint32_t, ControllerCount> valueChanges{};
        // The monitor line: the last message the port dialog's monitor took, and a count of them.
        std::uint32_t monitorCount = 0;
        int monitorDevice = -1;
        std::array<std::uint8_t, 3> monitorBytes{};
    };
    // Puts the slider positions, labels and captions of the shown state on the widgets
    // (PemoMidiIn.cpp, where the controller table is).
    void ShowControllers(const TShown& now, bool sustainOn, bool learnOn);
    // A change of the shown state (lock held).
    void Show() { fShownChanged = true; }
    // Runs on the MIDI service thread: asks the UI thread to run SyncWidgets, allocating nothing.
    void PostSync();
    // UI thread: a posted sync, and the syncs that follow it while changes keep coming.
    void SyncPosted();
    void SyncFollowing();
    // Shows the failures that input handling left (UI thread).
    void ReportMidiInFailures();
    TShown fShownState;           // lock held
    bool fShownChanged = false;   // lock held: a change waits for SyncWidgets
    // Lock held: a sync is posted, or the UI thread looks for changes again shortly; MIDI input
    // posts only while it is false.
    bool fSyncPosted = false;
    QTimer* fSyncTimer = nullptr;               // UI thread: the next look for changes
    std::vector<std::string> fMidiInFailures;   // lock held: to be shown on the UI thread
    // UI thread: what SyncWidgets put on the widgets last.
    TShown fApplied;
    std::array<bool, 128> fAppliedNotesOn{};
    std::uint8_t fAppliedSplitNote = 60;
    // Rebuilds the readout strip from these notes.
    void ShowReadout(const std::array<bool, 128>& notes);

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
