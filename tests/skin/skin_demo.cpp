// A look at the skin: the main window's controls at their sizes, and the dialogs' controls.
// Usage: skin_demo [picture.png]   (with a file name it saves a picture and quits)
#include "skin/LinkPanel.h"
#include "skin/PictureButton.h"
#include "skin/Skin.h"
#include "skin/SlideSwitch.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace skin = tarv::skin;

namespace {

QFrame* panel(QWidget* parent, int x, int y, int w, int h, const char* role = skin::role::Panel)
{
    auto* f = new QFrame(parent);
    f->setGeometry(x, y, w, h);
    if (role)
        skin::setRole(f, role);
    return f;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h, const char* role = nullptr,
              Qt::Alignment align = Qt::AlignCenter)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    l->setAlignment(align);
    if (role)
        skin::setRole(l, role);
    return l;
}

QPushButton* button(QWidget* parent, const QString& text, int x, int y, int w, int h, const char* role = nullptr)
{
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, w, h);
    if (role)
        skin::setRole(b, role);
    return b;
}

QSlider* hslider(QWidget* parent, int x, int y, int w, int h, int value)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setGeometry(x, y, w, h);
    s->setRange(0, 127);
    s->setValue(value);
    s->setSingleStep(2);
    s->setPageStep(16);
    s->setTickInterval(16);
    s->setTickPosition(QSlider::TicksBelow);
    return s;
}

QSpinBox* spin(QWidget* parent, int x, int y, int w, int h, int lo, int hi, int value)
{
    auto* s = new QSpinBox(parent);
    s->setGeometry(x, y, w, h);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

QWidget* mainWindowLook()
{
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("Ovelin Tarv ( SplitKeyBoard)"));
    window->setFixedSize(894, 312);

    auto* basis = panel(window, 27, 24, 838, 252);

    auto* io = panel(basis, 40, 12, 757, 36);
    auto* ports = new TPictureButton(io);
    ports->setGeometry(3, 2, 32, 32);
    ports->setPicture(skin::midiConnectorPicture());
    ports->setToolTip(QStringLiteral("Auswahl der Midiports"));
    auto* velocity = panel(io, 36, 0, 129, 36);
    auto* sw = new TSlideSwitch(velocity);
    sw->setGeometry(0, 0, 40, 36);
    label(velocity, QStringLiteral("Velocity 96"), 40, 0, 87, 12, nullptr, Qt::AlignHCenter | Qt::AlignBottom)
        ->setEnabled(false);
    hslider(velocity, 40, 12, 87, 24, 96)->setEnabled(false);
    const char* names[] = {"Panorama 64", "Chorus 0", "Reverb 0"};
    const int values[] = {64, 0, 0};
    for (int i = 0; i < 3; ++i) {
        auto* p = panel(io, 165 + 127 * i, 0, 127, 36);
        label(p, QString::fromLatin1(names[i]), 0, 0, 127, 12, nullptr, Qt::AlignHCenter | Qt::AlignBottom);
        auto* s = hslider(p, 0, 12, 127, 24, values[i]);
        skin::setParentShowHint(s, false);
        skin::setShowHint(s, true);
        s->setToolTip(QStringLiteral("Balanceeinstellung\r\nLinks .. Rechts"));
    }
    panel(io, 546, 0, 210, 36);

    auto* view = panel(basis, 40, 48, 757, 144, skin::role::Inset);
    auto* keys = new QLabel(view);  // stands in for the drawn keyboard
    keys->setGeometry(1, 18, 755, 107);
    keys->setStyleSheet(QStringLiteral("background: #f4f4f4;"));
    for (int k = 0; k < 6; ++k) {
        auto* l = label(view, QStringLiteral("C%1").arg(k + 2), 126 * k + 0, 126, 18, 16,
                        k + 2 == 5 ? skin::role::LabelYellow : skin::role::OctaveLabel);
        l->setEnabled(k + 2 >= 3 && k + 2 <= 7);
    }

    auto* iu = panel(basis, 40, 192, 757, 48);
    auto* kanal = panel(iu, 0, 0, 72, 48);
    spin(kanal, 1, 2, 35, 21, 1, 16, 1);
    label(kanal, QStringLiteral("Kanal"), 37, 1, 33, 22, skin::role::LabelYellow);
    button(kanal, QStringLiteral("Instrument"), 1, 24, 71, 22);
    auto* modus = new QComboBox(iu);
    modus->setGeometry(73, 1, 223, 22);
    modus->addItems({QStringLiteral("0: Standardkeyboard"), QStringLiteral("1: SplitKeyboard")});
    skin::setRole(modus, skin::role::ModeList);
    button(iu, QStringLiteral("Stimmung"), 73, 24, 74, 22);
    auto* link = new TLinkPanel(QStringLiteral("github.com/tarv-midi/tarv"), iu);
    link->setGeometry(147, 24, 232, 22);
    button(iu, QStringLiteral("Sustain Aus"), 297, 1, 82, 22, skin::role::ButtonSilver);
    auto* pckey = new TPictureButton(iu);
    pckey->setGeometry(380, 0, 210, 48);
    pckey->setCaption(QStringLiteral("I"));
    pckey->setPicture(skin::pcKeysPicture({81, 50, 87, 51, 69, 82, 53, 84, 54, 90, 55, 85,
                                           86, 71, 66, 72, 78, 77, 75, 188, 76, 190, 192, 189}));
    auto* split = panel(iu, 589, 0, 168, 48);
    label(split, QStringLiteral("Splitting"), 1, 1, 83, 22, skin::role::LabelYellow);
    button(split, QStringLiteral("Set C5"), 1, 26, 83, 22, skin::role::ButtonSilver);
    spin(split, 89, 1, 36, 21, 1, 16, 1);
    label(split, QStringLiteral("Kanal"), 89, 24, 36, 22, skin::role::LabelYellow);
    spin(split, 127, 1, 36, 21, 0, 5, 5);
    label(split, QStringLiteral("Oktave"), 127, 24, 36, 22, skin::role::LabelYellow);
    split->setEnabled(false);

    auto* il = panel(basis, 7, 48, 33, 144);
    auto* volume = new QSlider(Qt::Vertical, il);
    volume->setGeometry(1, 1, 31, 124);
    volume->setRange(0, 127);
    volume->setInvertedAppearance(true);
    volume->setValue(27);
    volume->setPageStep(4);
    label(il, QStringLiteral("Vol"), 1, 120, 31, 23);

    auto* ir = panel(basis, 796, 48, 36, 144);
    button(ir, QStringLiteral("Klang Anz."), 1, 0, 35, 36);
    button(ir, QStringLiteral("Reset"), 1, 36, 35, 36);
    button(ir, QStringLiteral("Lerne Aus"), 1, 72, 35, 36)
        ->setToolTip(QStringLiteral("Lernfunktion für externe Controller\r\n1. Dieser Schalter\r\n"
                                    "2. externen Regler betätigen\r\n3. internen Regler anklicken"));
    button(ir, QStringLiteral("Hint Ein"), 1, 108, 35, 17);
    button(ir, QStringLiteral("Deu"), 1, 125, 35, 17);

    // Two covers, one closed over the right strip, one open above the top strip.
    panel(window, 67, 0, 757, 36, skin::role::Cover);
    panel(window, 860, 72, 35, 144, skin::role::Cover);

    skin::prepareControls(window);
    return window;
}

QWidget* dialogLook()
{
    auto* window = new QWidget;
    window->setWindowTitle(QStringLiteral("Midiports"));
    window->resize(420, 260);
    auto* layout = new QVBoxLayout(window);
    auto* list = new QListWidget;
    list->addItems({QStringLiteral("Midi Through Port-0"), QStringLiteral("Synth input port"),
                    QStringLiteral("USB Keyboard MIDI 1")});
    list->setCurrentRow(1);
    auto* checks = new QListWidget;
    for (const char* name : {"Midi Through Port-0", "USB Keyboard MIDI 1"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), checks);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checks->count() == 2 ? Qt::Checked : Qt::Unchecked);
    }
    auto* memo = new QPlainTextEdit(QStringLiteral("Gerät steht nicht mehr zur Verfügung\n0: Acoustic Grand Piano"));
    auto* combo = new QComboBox;
    combo->addItems({QStringLiteral("C-Dur"), QStringLiteral("G-Dur")});
    auto* status = new QStatusBar;
    status->showMessage(QStringLiteral("2 Eingänge, 1 Ausgang"));
    layout->addWidget(list);
    layout->addWidget(checks);
    layout->addWidget(combo);
    layout->addWidget(memo);
    layout->addWidget(new QPushButton(QStringLiteral("OK")));
    layout->addWidget(status);
    layout->setContentsMargins(4, 4, 4, 0);
    return window;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    skin::apply(app);

    QWidget* main = mainWindowLook();
    QWidget* dialog = dialogLook();
    main->show();
    dialog->move(main->x(), main->y() + 360);
    dialog->show();

    if (argc > 1) {
        const QString file = QString::fromLocal8Bit(argv[1]);
        QTimer::singleShot(300, &app, [&, file] {
            // The two windows and a hint, side by side in one picture.
            for (auto* b : main->findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("Lerne Aus"))
                    skin::showHintFor(b, b->mapToGlobal(QPoint(10, 10)));
            QWidget* hint = skin::currentHintWindow();
            const QPixmap a = main->grab(), b = dialog->grab();
            const QPixmap c = hint ? hint->grab() : QPixmap();
            QPixmap all(a.width() + 20 + std::max(b.width(), c.width() + 148), std::max(a.height(), b.height() + std::max(c.height(), 128) + 20));
            all.fill(QColor(0x80, 0x80, 0x80));
            QPainter p(&all);
            p.drawPixmap(0, 0, a);
            p.drawPixmap(a.width() + 20, 0, b);
            if (!c.isNull())
                p.drawPixmap(a.width() + 20, b.height() + 20, c);
            p.drawPixmap(a.width() + 20 + c.width() + 20, b.height() + 20, skin::appIcon().pixmap(128));
            p.end();
            all.save(file);
            app.quit();
        });
    }
    const int result = app.exec();
    delete dialog;
    delete main;
    return result;
}
