// The key selector: the key table, the list and the transposition it sets.
#include "twStimmung.h"

#include "Placement.h"
#include "player/Player.h"
#include "skin/ListBox.h"
#include "skin/Skin.h"

#include <QPlainTextEdit>
#include <QTextDocument>

TfrmStimmung* frmStimmung = nullptr;

namespace {

constexpr int ClientWidth = 105;
constexpr int ClientHeight = 316;
constexpr int ItemHeight = 13;
constexpr int LeftOffset = 900;

// Below the first line "International"; the blank lines hold one space.
constexpr const char* MemoLines[] = {
    " ", "Dur = Major", "Moll = Minor", " ", "Hdur=Bmajor", "Hmoll=Bminor", " ", "Xis=X#", "Xes=Xb",
};

}   // namespace

TfrmStimmung::TfrmStimmung(QWidget* mainWindow, TPlayer& player)
    : QDialog(mainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      fMainWindow(mainWindow),
      fPlayer(player)
{
    frmStimmung = this;
    setWindowTitle(QStringLiteral("OV Stimmung"));
    setFixedSize(ClientWidth, ClientHeight);

    auto* list = new TListBox(this);
    list->setGeometry(0, 0, ClientWidth, ClientHeight);
    // Black keys on the classic light button face.
    tarv::skin::setRole(list, tarv::skin::role::LightList);
    for (const TKeyTableRow& row : KeyTable)
        list->addItem(QString::fromUtf8(row.Text));
    // The empty items can be neither selected nor reached with the keys: what the list shows
    // selected is always the key in force.
    for (int i = 0; i < EmptyItems; ++i) {
        auto* item = new QListWidgetItem(QString(), list);
        item->setFlags(Qt::NoItemFlags);
    }
    list->setItemHeight(ItemHeight);
    connect(list, &TListBox::chosen, this, &TfrmStimmung::lbStimmungClick);
    lbStimmung = list;

    // The memo lies over the empty items below the 13th key.
    memInt = new QPlainTextEdit(this);
    memInt->setGeometry(7, 175, 91, 136);
    memInt->setReadOnly(true);
    memInt->setLineWrapMode(QPlainTextEdit::NoWrap);
    memInt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memInt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memInt->document()->setDocumentMargin(2);
    // Not the skin's dark memo well: the light note paper of the original.
    tarv::skin::setRole(memInt, tarv::skin::role::NotePaper);
    memInt->setPlainText(QStringLiteral("International"));

    FormCreate();
}

TfrmStimmung::~TfrmStimmung()
{
    if (frmStimmung == this)
        frmStimmung = nullptr;
}

void TfrmStimmung::FormCreate()
{
    lbStimmung->setCurrentRow(0);
    fPlayer.SetTranspose(0);
    for (const char* line : MemoLines)
        memInt->appendPlainText(QString::fromUtf8(line));
}

void TfrmStimmung::lbStimmungClick()
{
    const int k = static_cast<TListBox*>(lbStimmung)->selectedRow();
    if (k < 0 || k >= static_cast<int>(KeyTable.size()))
        return;
    fPlayer.SetTranspose(KeyTable[static_cast<std::size_t>(k)].Offset);
}

void TfrmStimmung::placeAndShow()
{
    ShowNextTo(this, fMainWindow, QPoint(LeftOffset, 0));
}
