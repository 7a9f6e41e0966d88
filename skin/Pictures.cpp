// The skin's pictures: the MIDI connector, the PC keys of the key map and the program's icon.
#include "skin/Skin.h"
#include "skin/SkinStyle.h"

#include "keycodes/VirtualKeys.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#ifndef TARV_PNG_PICTURES
#include <QSvgRenderer>
#endif

namespace tarv::skin {

namespace {

// A PNG of the skin's resources, read by Qt's own reader. Left to find the format itself, Qt
// would load every one of its image plugins (and the libraries they need) to ask each one
// whether it reads PNG.
QPixmap readPng(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QPixmap renderConnector(int size)
{
    detail::ensureResources();
    // Rendered at build time for the sizes in use (skin/CMakeLists.txt), when the build could.
    const QPixmap rendered = readPng(QStringLiteral(":/tarv/skin/rendered/tarv-%1.png").arg(size));
#ifdef TARV_PNG_PICTURES
    return rendered;   // without Qt's SVG module the build always renders them
#else
    if (!rendered.isNull())
        return rendered;
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QSvgRenderer svg(QStringLiteral(":/tarv/skin/tarv.svg"));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    svg.render(&p, QRectF(0, 0, size, size));
    return picture;
#endif
}

// Picture of the PC keys: two blocks of 96 x 46, one per octave. Each block is a little piano:
// the seven keys of the white notes in the lower row, the five of the black notes above them,
// each between its neighbours as on a PC keyboard (2 3 over Q W E, G H over V B N, ...).
constexpr int PictureWidth = 192;
constexpr int PictureHeight = 46;
constexpr int BlockWidth = 96;
constexpr int KeyPitch = 13;
constexpr int KeyWidth = 12;
constexpr int RowHeight = 21;
constexpr int UpperRowTop = 1;
constexpr int LowerRowTop = 24;
constexpr int BlockMargin = (BlockWidth - (7 * KeyPitch - 1)) / 2;

// For each note of an octave: its slot among the white keys, or for a black note the white
// key it follows; and whether it is black.
struct KeySlot {
    int slot;
    bool black;
};
constexpr KeySlot octaveSlots[12] = {{0, false}, {0, true},  {1, false}, {1, true},  {2, false}, {3, false},
                                     {3, true},  {4, false}, {4, true},  {5, false}, {5, true},  {6, false}};

void drawKeyCap(QPainter& p, const QRect& r, bool black, const QString& caption, const QFont& font)
{
    QLinearGradient face(r.topLeft(), r.bottomLeft());
    if (black) {
        face.setColorAt(0, QColor(0x4a, 0x4a, 0x4a));
        face.setColorAt(1, QColor(0x1c, 0x1c, 0x1c));
    } else {
        face.setColorAt(0, QColor(0xf4, 0xf4, 0xf4));
        face.setColorAt(1, QColor(0xae, 0xae, 0xae));
    }
    QPainterPath cap;
    cap.addRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    p.setPen(QColor(0x05, 0x05, 0x05));
    p.setBrush(face);
    p.drawPath(cap);
    p.setPen(black ? colour::Text : QColor(0x10, 0x10, 0x10));
    p.setFont(font);
    p.drawText(r.adjusted(0, 0, 0, -1), Qt::AlignCenter, caption);
}

}   // namespace

QString keyCaption(int virtualKey)
{
    const char32_t caption = keycodes::caption(virtualKey);
    return caption == 0 ? QString() : QString::fromUcs4(&caption, 1);
}

// Drawn, not read: the first picture file read makes Qt load its image plugins, and the covers
// are in the window's first picture.
QPixmap grillePicture()
{
    static const QPixmap tile = [] {
        QPixmap picture(4, 4);
        picture.fill(colour::Cover);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour::CoverHole);
        p.drawEllipse(QPointF(1, 1), 0.8, 0.8);
        p.drawEllipse(QPointF(3, 3), 0.8, 0.8);
        return picture;
    }();
    return tile;
}

QPixmap midiConnectorPicture()
{
    return renderConnector(30);
}

QPixmap pcKeysPicture(const std::array<int, 24>& keyCodes)
{
    QPixmap picture(PictureWidth, PictureHeight);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    // A dark plate under each block, so the picture reads as two small keyboards.
    for (int block = 0; block < 2; ++block) {
        QPainterPath plate;
        plate.addRoundedRect(QRectF(block * BlockWidth + 0.5, 0.5, BlockWidth - 1, PictureHeight - 1), 3, 3);
        p.setPen(QColor(0x4a, 0x4a, 0x4a));
        p.setBrush(QColor(0x14, 0x14, 0x14));
        p.drawPath(plate);
    }

    QFont font = QGuiApplication::font();
    font.setPixelSize(11);
    font.setBold(true);
    for (int i = 0; i < 24; ++i) {
        const KeySlot key = octaveSlots[i % 12];
        const int left = (i / 12) * BlockWidth + BlockMargin + key.slot * KeyPitch + (key.black ? KeyPitch / 2 : 0);
        const QRect r(left, key.black ? UpperRowTop : LowerRowTop, KeyWidth, RowHeight);
        drawKeyCap(p, r, key.black, keyCaption(keyCodes[i]), font);
    }
    return picture;
}

QIcon appIcon()
{
    // Rendered once: the SVG's gradients cost milliseconds at the larger sizes.
    static const QIcon icon = [] {
        QIcon rendered;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            rendered.addPixmap(renderConnector(size));
        return rendered;
    }();
    return icon;
}

}   // namespace tarv::skin
