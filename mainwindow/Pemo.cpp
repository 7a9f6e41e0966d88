// The main window's controls beyond its form, life cycle, RefreshControls, dialog buttons and event preview.
#include "Pemo.h"

#include "SaveKey.h"
#include "dialogs/portWahl.h"
#include "dialogs/twInstrument.h"
#include "dialogs/twStimmung.h"
#include "keycodes/KeyCodes.h"
#include "midi/Midi.h"
#include "settings/Settings.h"
#include "skin/Click.h"
#include "skin/ErrorDisplay.h"
#include "skin/LinkPanel.h"
#include "skin/ModusComboBox.h"
#include "skin/PictureButton.h"
#include "skin/Skin.h"
#include "skin/SlideSwitch.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QUrl>
#include <QWheelEvent>

#include <exception>

TfrmPemo* frmPemo = nullptr;

namespace {

// The program's home page: shown on sPanel1 and, without its scheme, in the caption.
const QString HomePage = QStringLiteral(TARV_HOME_PAGE);

QString SiteName()
{
    return QUrl(HomePage).toString(QUrl::RemoveScheme | QUrl::StripTrailingSlash).mid(2);
}

constexpr int ClientWidth = 894;
constexpr int ClientHeight = 312;

}   // namespace

TfrmPemo::TfrmPemo(TPlayer& player, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      fPlayer(player)
{
    frmPemo = this;
    setObjectName(QStringLiteral("frmPemo"));
    setWindowTitle(QStringLiteral("Ovelin Tarv ( SplitKeyBoard)  ") + SiteName());
    setFixedSize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));

    CreateControls();
    ConnectHandlers();
    installSaveKey(this);
    // Key preview: the window sees the key events of its controls before they do.
    qApp->installEventFilter(this);
    FormCreate();
}

TfrmPemo::~TfrmPemo()
{
    qApp->removeEventFilter(this);
    // The controls outlive this destructor for a moment (the base class deletes them); hiding
    // and deleting them must not reach handlers of a window that is no longer whole.
    Pemo->setOnNoteOn({});
    Pemo->setOnNoteOff({});
    for (QObject* control : findChildren<QObject*>())
        control->disconnect(this);
    if (frmPortWahl)
        frmPortWahl->OnOutputChanging = nullptr;
    FormDestroy();
    fPlayer.SetOnDisplayChanged({});
    // A note that input started after the window closed ends too; the program is ending, there
    // is no one to tell of a failed send.
    fPlayer.EndSoundingNotes();
    if (frmPemo == this)
        frmPemo = nullptr;
}

// The layout is the form's; what it cannot say (pictures, the home page, two captions) follows.
void TfrmPemo::CreateControls()
{
    setupUi(this);
    lblC = {lblC0, lblC1, lblC2, lblC3, lblC4, lblC5, lblC6, lblC7, lblC8, lblC9};
    // Both picture buttons start under closed covers: their pictures are made when first shown.
    bbtnPorts->setPictureMaker(tarv::skin::midiConnectorPicture);
    slVelocity->setCaptions(QStringLiteral("Auto"), QStringLiteral("Manu"));
    sPanel1->setText(SiteName());
    bbtnPckey->setPictureMaker([] { return tarv::skin::pcKeysPicture(DefaultPcKeyMap); });
    // Hand pointers on the active controls; no tab stops except the slide switch.
    tarv::skin::prepareControls(this);
}

void TfrmPemo::ConnectHandlers()
{
    // Top strip.
    connect(bbtnPorts, &QAbstractButton::clicked, this, [this] { bbtnPortsClick(); });
    connect(slVelocity, &TSlideSwitch::changing, this,
            [this](bool& CanChange) { slVelocityChanging(slVelocity, CanChange); });
    connect(tbVelocity, &QSlider::valueChanged, this, [this] { tbVelocityChange(); });
    connect(tbPanorama, &QSlider::valueChanged, this, [this] { tbPanoramaChange(); });
    connect(tbChorus, &QSlider::valueChanged, this, [this] { tbChorusChange(); });
    connect(tbReverb, &QSlider::valueChanged, this, [this] { tbReverbChange(); });

    // Keyboard and the octave labels under it.
    Pemo->setOnNoteOn([this](QObject* Sender, int note, int velocity) { PemoNoteOn(Sender, note, velocity); });
    Pemo->setOnNoteOff([this](QObject* Sender, int note, int velocity) { PemoNoteOff(Sender, note, velocity); });
    connect(lblC[3], &TClickLabel::clicked, this, [this] { lblC3Click(); });
    connect(lblC[4], &TClickLabel::clicked, this, [this] { lblC4Click(); });
    connect(lblC[5], &TClickLabel::clicked, this, [this] { lblC5Click(); });
    connect(lblC[6], &TClickLabel::clicked, this, [this] { lblC6Click(); });
    connect(lblC[7], &TClickLabel::clicked, this, [this] { lblC7Click(); });

    // Bottom strip; leaving seLKanal and bbtnPckey is seen by the event filter.
    connect(seLKanal, &QSpinBox::valueChanged, this, [this] { seLkanalChange(); });
    connect(btnInstrument, &QPushButton::clicked, this, [this] { btnInstrumentClick(); });
    // activated: only the player's choice, not a selection set from code.
    connect(cbModus, &QComboBox::activated, this, [this] { cbModusChange(); });
    connect(cbModus, &TModusComboBox::closedUp, this, [this] { cbModusCloseUp(); });
    connect(btnStimmung, &QPushButton::clicked, this, [this] { btnStimmungClick(); });
    connect(sPanel1, &TLinkPanel::clicked, this, [this] { sPanel1Click(); });
    connect(btnSustain, &QPushButton::clicked, this, [this] { btnSustainClick(); });
    connect(bbtnPckey, &QAbstractButton::clicked, this, [this] { bbtnPckeyClick(); });
    connect(btnSetSplit, &QPushButton::clicked, this, [this] { btnSetSplitClick(); });
    connect(seRkanal, &QSpinBox::valueChanged, this, [this] { seRkanalChange(); });
    connect(seSplitOktave, &QSpinBox::valueChanged, this, [this] { seSplitOktaveChange(); });

    // Left and right strips.
    connect(tbVolume, &QSlider::valueChanged, this, [this] { tbVolumeChange(); });
    connect(btnKlangAnz, &QPushButton::clicked, this, [this] { btnKlangAnzClick(); });
    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(btnLerne, &QPushButton::clicked, this, [this] { btnLerneClick(); });
    connect(btnHint, &QPushButton::clicked, this, [this] { btnHintClick(); });
    connect(btnSpr, &QPushButton::clicked, this, [this] { btnSprClick(); });

    // Covers.
    connect(panelAO, &TClickPanel::clicked, this, [this] { panelAOClick(); });
    connect(panelAU, &TClickPanel::clicked, this, [this] { panelAUClick(); });
    connect(panelAL, &TClickPanel::clicked, this, [this] { panelALClick(); });
    connect(panelAR, &TClickPanel::clicked, this, [this] { panelARClick(); });
}

void TfrmPemo::FormCreate()
{
    if (!QFileInfo::exists(QString::fromStdString(SettingsFilePath()))) {
        try {
            WriteDefaultSettings();
        } catch (const std::exception& e) {
            // A read-only program folder: the program plays with the defaults; the player hears why.
            ReportWhenShown(QString::fromUtf8(e.what()));
        }
    }

    TakeSliderPositions();
    // The start-up sending put every channel's stored pedal on the wire.
    fPlayer.NoteStoredPedals();

    fPlayer.SetOnDisplayChanged([this] { PostSync(); });
    try {
        MidiInput().setOnMidiData(
            [&player = fPlayer](int aDeviceIndex, std::uint8_t aStatus, std::uint8_t aData1, std::uint8_t aData2) {
                player.MidiIn(aDeviceIndex, aStatus, aData1, aData2);
            });
    } catch (const std::exception& e) {
        // The input ports cannot be listed: the window works without MIDI input.
        ReportWhenShown(QString::fromUtf8(e.what()));
    }

    panelAO->move(panelAO->x(), 36);
    panelAU->move(panelAU->x(), 216);
    panelAL->move(36, panelAL->y());
    panelAR->move(824, panelAR->y());

    PemoOM->hide();
    PemoOM->setEnabled(false);
    btnSetSplit->setEnabled(false);

    ApplyGermanHints();
}

void TfrmPemo::ReportWhenShown(const QString& text)
{
    QMetaObject::invokeMethod(
        this, [text] { tarv::skin::ShowError(text); }, Qt::QueuedConnection);
}

void TfrmPemo::FormActivate()
{
    RefreshControls();
}

void TfrmPemo::RefreshControls()
{
    const TPlayerState state = fPlayer.State();
    // The picker, when open, shows the left channel's instrument; selecting from code sends
    // nothing.
    if (frmInstrument)
        frmInstrument->SelectProgram(state.ChannelSettings.Instrument);
    // The sliders and the sustain button follow the channel's stored controllers.
    RefreshControllers();
    // The play mode list and the split controls it enables; a stored mode other than 0 or 1
    // selects nothing and routes nothing, and the split controls stay as they are.
    const std::uint8_t mode = state.GeneralSettings.PlayMode;
    cbModus->setCurrentIndex(mode <= 1 ? mode : -1);
    cbModusChange();
    // The hint button names the stored choice, and the window's hints follow it.
    const bool hint = state.GeneralSettings.Hint;
    btnHint->setText(hint ? QStringLiteral("Hint Ein") : QStringLiteral("Hint Aus"));
    tarv::skin::setShowHint(this, hint);
}

void TfrmPemo::FormClose()
{
    fPlayer.SaveSettings();
}

// No input callback may reach a window that is going away: unregister the handler, then close
// the input ports, which waits for a callback that is running. Nothing posts to the window after.
void TfrmPemo::FormDestroy()
{
    try {
        MidiInput().setOnMidiData({});
        MidiInput().CloseAll();
    } catch (const std::exception&) {
        // A port that fails to close delivers nothing any more either.
    }
}

void TfrmPemo::bbtnPortsClick()
{
    // The dialog takes over MIDI input: what the keyboard started ends now, since its Note Offs
    // will be echoed unrouted. Before the output changes, what sounds there ends too.
    const std::string failure = EndSoundingNotes(frmPortWahl != nullptr);
    if (frmPortWahl) {
        frmPortWahl->OnOutputChanging = [this] {
            // The old port is given up (or has gone away): a Note Off it cannot take is lost
            // with it, and the dialog tells the player of a missing device itself.
            EndSoundingNotes();
        };
    }
    if (!failure.empty())
        ReportMidiFailure(QString::fromStdString(failure));
    ShowPortDialog();
    Pemo->setMIDIDevice(fPlayer.OutputPort());
    fPlayer.SendAllStoredChannels();
    fPlayer.NoteStoredPedals();
}

void TfrmPemo::sPanel1Click()
{
    QDesktopServices::openUrl(QUrl(HomePage));
}

void TfrmPemo::btnInstrumentClick()
{
    if (frmInstrument)
        frmInstrument->placeAndShow();
}

void TfrmPemo::btnStimmungClick()
{
    if (frmStimmung)
        frmStimmung->placeAndShow();
}

void TfrmPemo::closeEvent(QCloseEvent* event)
{
    // Closing ends the program: what it has sounding ends before the ports close. A Note Off
    // that cannot be sent is not reported, the program is on its way out.
    EndSoundingNotes();
    // A settings file that cannot be written is reported; the window closes all the same.
    try {
        FormClose();
    } catch (const std::exception& e) {
        tarv::skin::ShowError(QString::fromUtf8(e.what()));
    }
    event->accept();
}

void TfrmPemo::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow())
        FormActivate();
    else
        // The key-ups of keys held now will go to another window.
        ReleaseHeldPcKeys();
}

void TfrmPemo::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window manager may show the window without activating it (focus-stealing prevention, a
    // start by script): the controls come into line with the settings all the same.
    if (event->spontaneous() || fShownOnce)
        return;
    fShownOnce = true;
    RefreshControls();
}

bool TfrmPemo::IsFirstDelivery(QWidget* receiver, QEvent* event)
{
    // An event that its receiver does not accept travels on to the parent, and an application
    // event filter sees it again there; only its first delivery counts.
    const bool propagated = event == fPreviewEvent && event->type() == fPreviewType && receiver == fPreviewNext;
    fPreviewEvent = event;
    fPreviewType = event->type();
    fPreviewNext = receiver->isWindow() ? nullptr : receiver->parentWidget();
    return !propagated;
}

bool TfrmPemo::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        if (widget->window() != this || !IsFirstDelivery(widget, event))
            break;
        const auto* key = static_cast<QKeyEvent*>(event);
        // A key with Control held is a command (Ctrl+S saves), never a note; a key-up still ends its note.
        if (event->type() == QEvent::KeyPress && key->modifiers().testFlag(Qt::ControlModifier))
            break;
        const int code = tarv::keycodes::windowsKeyCode(*key);
        if (event->type() == QEvent::KeyPress)
            FormKeyDown(code, key->isAutoRepeat());
        else
            FormKeyUp(code, key->isAutoRepeat());
        break;
    }
    case QEvent::Wheel:
        if (widget->window() == this && IsFirstDelivery(widget, event))
            FormMouseWheel(static_cast<QWheelEvent*>(event)->globalPosition().toPoint());
        break;
    case QEvent::Leave:
        if (watched == seLKanal)
            seLKanalMouseLeave();
        else if (watched == bbtnPckey)
            bbtnPckeyMouseLeave();
        break;
    default:
        break;
    }
    // Nothing is consumed: the control gets the event afterwards.
    return false;
}
