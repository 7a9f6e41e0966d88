// The instrument picker: the General MIDI names, the choice and its program change.
#include "twInstrument.h"

#include "Placement.h"
#include "player/Player.h"
#include "settings/uGMInstrumente.h"
#include "skin/ListBox.h"
#include "skin/Skin.h"

#include <QEvent>

TfrmInstrument* frmInstrument = nullptr;

namespace {

constexpr int ClientWidth = 894;
constexpr int ClientHeight = 214;
// The list is a little larger than the window, as on the original layout; each of its 8
// columns is 900 / 8 pixels wide and holds 16 names of 13 pixels.
constexpr int ListWidth = 900;
constexpr int ListHeight = 220;
constexpr int Columns = 8;
constexpr int ItemHeight = 13;
constexpr int TopOffset = 340;

}   // namespace

TfrmInstrument::TfrmInstrument(QWidget* mainWindow, TPlayer& player)
    : QDialog(mainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      fMainWindow(mainWindow),
      fPlayer(player)
{
    frmInstrument = this;
    setWindowTitle(QStringLiteral("Ovelin GM Instrumente"));
    setFixedSize(ClientWidth, ClientHeight);

    auto* list = new TListBox(this);
    list->setGeometry(0, 0, ListWidth, ListHeight);
    list->setViewMode(QListView::ListMode);
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setUniformItemSizes(true);
    list->setGridSize(QSize(ListWidth / Columns, ItemHeight));
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Black names on the classic light window face.
    tarv::skin::setRole(list, tarv::skin::role::LightList);
    connect(list, &TListBox::chosen, this, &TfrmInstrument::ListBox1Click);
    ListBox1 = list;

    FormCreate();
}

TfrmInstrument::~TfrmInstrument()
{
    if (frmInstrument == this)
        frmInstrument = nullptr;
}

void TfrmInstrument::FormCreate()
{
    for (int program = 0; program < GMInstrumentCount; ++program)
        ListBox1->addItem(QString::fromUtf8(GMInstrumentName(program)));
}

void TfrmInstrument::FormActivate()
{
    SelectProgram(fPlayer.State().ChannelSettings.Instrument);
}

void TfrmInstrument::SelectProgram(int program)
{
    ListBox1->setCurrentRow(program >= 0 && program < GMInstrumentCount ? program : -1);
}

void TfrmInstrument::ListBox1Click()
{
    const int k = static_cast<TListBox*>(ListBox1)->selectedRow();
    if (k < 0 || k >= GMInstrumentCount)
        return;
    fPlayer.SetInstrument(static_cast<std::uint8_t>(k));
}

void TfrmInstrument::placeAndShow()
{
    ShowNextTo(this, fMainWindow, QPoint(0, TopOffset));
}

void TfrmInstrument::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}
