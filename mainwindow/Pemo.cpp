// The main window's layout, life cycle, RefreshControls, dialog buttons and event preview.
#include "Pemo.h"
#include "Layout.h"

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
#include "skin/WrapButton.h"
#include "widgets/Klavier.h"
#include "widgets/KlavierO.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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

// The layout: every control with its parent, place, size, caption, range and first state.
void TfrmPemo::CreateControls()
{
    using namespace tarv::skin;
    const Qt::Alignment BottomCentred = Qt::AlignHCenter | Qt::AlignBottom;

    panelBasis = panel(this, "panelBasis", {27, 24, 838, 252});

    // Top strip: MIDI settings.
    panelIO = panel(panelBasis, "panelIO", {40, 12, 757, 36});
    bbtnPorts = place<TPictureButton>(panelIO, "bbtnPorts", {3, 2, 32, 32});
    bbtnPorts->setPicture(midiConnectorPicture());
    bbtnPorts->setToolTip(QStringLiteral("Auswahl der Midiports"));
    panelVelocity = panel(panelIO, "panelVelocity", {36, 0, 129, 36});
    slVelocity = place<TSlideSwitch>(panelVelocity, "slVelocity", {0, 0, 40, 36});
    slVelocity->setCaptions(QStringLiteral("Auto"), QStringLiteral("Manu"));
    lblVelocity = label(panelVelocity, "lblVelocity", QStringLiteral("Velocity 96"), {40, 0, 87, 12}, BottomCentred);
    tbVelocity = horizontalSlider(panelVelocity, "tbVelocity", {40, 12, 87, 24}, 96);
    lblVelocity->setEnabled(false);
    tbVelocity->setEnabled(false);
    panelPanorama = panel(panelIO, "panelPanorama", {165, 0, 127, 36});
    lblPanorama = label(panelPanorama, "lblPanorama", QStringLiteral("Panorama 64"), {0, 0, 127, 12}, BottomCentred);
    tbPanorama = horizontalSlider(panelPanorama, "tbPanorama", {0, 12, 127, 24}, 64);
    panelChorus = panel(panelIO, "panelChorus", {292, 0, 127, 36});
    lblChorus = label(panelChorus, "lblChorus", QStringLiteral("Chorus 0"), {0, 0, 127, 12}, BottomCentred);
    tbChorus = horizontalSlider(panelChorus, "tbChorus", {0, 12, 127, 24}, 0);
    panelReverb = panel(panelIO, "panelReverb", {419, 0, 127, 36});
    lblReverb = label(panelReverb, "lblReverb", QStringLiteral("Reverb 0"), {0, 0, 127, 12}, BottomCentred);
    tbReverb = horizontalSlider(panelReverb, "tbReverb", {0, 12, 127, 24}, 0);
    panelglissando = panel(panelIO, "panelglissando", {546, 0, 210, 36});

    // Keyboard viewport: the ten-octave strip, C5 in the middle of the view.
    panelKBview = panel(panelBasis, "panelKBview", {40, 48, 757, 144}, role::Inset);
    panelKB = panel(panelKBview, "panelKB", {-252, 0, 1260, 144}, nullptr);
    Pemo = place<TMIDIKeys>(panelKB, "Pemo", {0, 17, 1260, 107});
    Pemo->setNoteWidth(18);
    Pemo->setBaseOctave(0);
    Pemo->setBlackBrush(QBrush(Qt::black));
    Pemo->setWhiteBrush(QBrush(Qt::white));
    Pemo->setPen(QPen(Qt::black));
    Pemo->setVelocityMode(true);
    Pemo->setMIDIDevice(-1);
    setHandCursor(Pemo);
    // The readout strip lies above the keyboard's top row.
    PemoOM = place<TMKeysO>(panelKB, "PemoOM", {0, 0, 1260, 18});
    const QBrush silver(QColor(192, 192, 192));
    PemoOM->setNoteWidth(18);
    PemoOM->setBaseOctave(0);
    PemoOM->setBlackBrush(silver);
    PemoOM->setWhiteBrush(silver);
    PemoOM->setPen(QPen(Qt::black));
    PemoOM->setVelocityMode(false);
    for (int k = 0; k < 10; ++k) {
        const QByteArray name = "lblC" + QByteArray::number(k);
        auto* octave =
            label<TClickLabel>(panelKB, name.constData(), QStringLiteral("C%1").arg(k), {126 * k, 126, 18, 16},
                               Qt::AlignCenter, k == 5 ? role::LabelYellow : role::OctaveLabel);
        const bool clickable = k >= 3 && k <= 7;
        octave->setEnabled(clickable);
        if (clickable)
            setHandCursor(octave);
        lblC[static_cast<std::size_t>(k)] = octave;
    }

    // Bottom strip: play settings.
    panelIU = panel(panelBasis, "panelIU", {40, 192, 757, 48});
    PanelKanal = panel(panelIU, "PanelKanal", {0, 0, 72, 48});
    seLKanal = spinEdit(PanelKanal, "seLKanal", {1, 2, 35, 21}, 1, 16, 1);
    lblKanal =
        label(PanelKanal, "lblKanal", QStringLiteral("Kanal"), {37, 1, 33, 22}, Qt::AlignCenter, role::LabelYellow);
    btnInstrument = button(PanelKanal, "btnInstrument", QStringLiteral("Instrument"), {1, 24, 71, 22});
    cbModus = place<TModusComboBox>(panelIU, "cbModus", {73, 1, 223, 22});
    cbModus->addItems({QStringLiteral("0: Standardkeyboard"), QStringLiteral("1: SplitKeyboard")});
    cbModus->setCurrentIndex(0);
    setRole(cbModus, role::ModeList);
    btnStimmung = button(panelIU, "btnStimmung", QStringLiteral("Stimmung"), {73, 24, 74, 22});
    sPanel1 = place<TLinkPanel>(panelIU, "sPanel1", {147, 24, 232, 22});
    sPanel1->setText(SiteName());
    btnSustain = button(panelIU, "btnSustain", QStringLiteral("Sustain Aus"), {297, 1, 82, 22}, role::ButtonSilver);
    bbtnPckey = place<TPictureButton>(panelIU, "bbtnPckey", {380, 0, 210, 48});
    bbtnPckey->setCaption(QStringLiteral("I"));
    bbtnPckey->setPicture(pcKeysPicture(DefaultPcKeyMap));
    PanelSplit = panel(panelIU, "PanelSplit", {589, 0, 168, 48});
    lblSplit =
        label(PanelSplit, "lblSplit", QStringLiteral("Splitting"), {1, 1, 83, 22}, Qt::AlignCenter, role::LabelYellow);
    btnSetSplit = button(PanelSplit, "btnSetSplit", QStringLiteral("Set C5"), {1, 26, 83, 22}, role::ButtonSilver);
    seRkanal = spinEdit(PanelSplit, "seRkanal", {89, 1, 36, 21}, 1, 16, 1);
    lblSplitkanal = label(PanelSplit, "lblSplitkanal", QStringLiteral("Kanal"), {89, 24, 36, 22}, Qt::AlignCenter,
                          role::LabelYellow);
    seSplitOktave = spinEdit(PanelSplit, "seSplitOktave", {127, 1, 36, 21}, 0, 5, 5);
    lblSplitoktave = label(PanelSplit, "lblSplitoktave", QStringLiteral("Oktave"), {127, 24, 36, 22}, Qt::AlignCenter,
                           role::LabelYellow);
    for (QWidget* control : PanelSplit->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        control->setEnabled(false);

    // Left strip: the channel volume, loudest at the top.
    panelIL = panel(panelBasis, "panelIL", {7, 48, 33, 144});
    lblVolume = label(panelIL, "lblVolume", QStringLiteral("Vol"), {1, 120, 31, 23});
    tbVolume = place<QSlider>(panelIL, "tbVolume", {1, 1, 31, 124});
    tbVolume->setOrientation(Qt::Vertical);
    tbVolume->setInvertedAppearance(true);   // position 0 at the top
    tbVolume->setInvertedControls(true);     // up and the wheel forward move the knob up
    tbVolume->setRange(0, 127);
    tbVolume->setPageStep(4);
    tbVolume->setValue(0);

    // Right strip: system settings.
    panelIR = panel(panelBasis, "panelIR", {796, 48, 36, 144});
    btnKlangAnz = button<TWrapButton>(panelIR, "btnKlangAnz", QStringLiteral("Klang Anz."), {1, 0, 35, 36});
    btnReset = button<TWrapButton>(panelIR, "btnReset", QStringLiteral("Reset"), {1, 36, 35, 36});
    btnLerne = button<TWrapButton>(panelIR, "btnLerne", QStringLiteral("Lerne Aus"), {1, 72, 35, 36});
    btnHint = button(panelIR, "btnHint", QStringLiteral("Hint I"), {1, 108, 35, 17});
    btnSpr = button(panelIR, "btnSpr", QStringLiteral("Deu"), {1, 125, 35, 17});

    // The covers lie on the window above the strips; FormCreate closes them.
    panelAO = place<TClickPanel>(this, "panelAO", {67, 0, 757, 36});
    panelAU = place<TClickPanel>(this, "panelAU", {67, 266, 757, 48});
    panelAR = place<TClickPanel>(this, "panelAR", {860, 72, 35, 144});
    panelAL = place<TClickPanel>(this, "panelAL", {0, 72, 33, 144});
    for (TClickPanel* cover : {panelAO, panelAU, panelAR, panelAL}) {
        setRole(cover, role::Cover);
        setHandCursor(cover);
        cover->raise();
    }
    // The focus parks on the top cover.
    panelAO->setFocusPolicy(Qt::ClickFocus);

    // Hand pointers on the active controls; no tab stops except the slide switch.
    prepareControls(this);
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
