// TPictureButton: a rubber-key face with a caption and a picture side by side.
#include "skin/PictureButton.h"

#include "skin/Skin.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

TPictureButton::TPictureButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void TPictureButton::setPicture(const QPixmap& picture)
{
    fPicture = picture;
    fMakePicture = nullptr;
    updateGeometry();
    update();
}

void TPictureButton::setPictureMaker(std::function<QPixmap()> make)
{
    fMakePicture = std::move(make);
    updateGeometry();
    update();
}

const QPixmap& TPictureButton::picture() const
{
    if (fMakePicture) {
        fPicture = fMakePicture();
        fMakePicture = nullptr;
    }
    return fPicture;
}

void TPictureButton::setCaption(const QString& caption)
{
    setText(caption);   // QAbstractButton repaints
}

QRect TPictureButton::pictureRect() const
{
    const QSize picture = this->picture().deviceIndependentSize().toSize();
    const int captionWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + CaptionGap;
    const int left = (width() - captionWidth - picture.width()) / 2 + captionWidth;
    return {left, (height() - picture.height()) / 2, picture.width(), picture.height()};
}

QSize TPictureButton::sizeHint() const
{
    const QSize picture = this->picture().deviceIndependentSize().toSize();
    const int captionWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + CaptionGap;
    return {picture.width() + captionWidth + 2, std::max(picture.height(), fontMetrics().height()) + 2};
}

void TPictureButton::paintEvent(QPaintEvent*)
{
    namespace colour = tarv::skin::colour;
    QPainter p(this);
    const bool enabled = isEnabled();
    const bool sunken = isDown() || isChecked();
    const QRect r = rect();

    QLinearGradient face(r.topLeft(), r.bottomLeft());
    if (sunken) {
        face.setColorAt(0, QColor(0x20, 0x20, 0x20));
        face.setColorAt(1, QColor(0x32, 0x32, 0x32));
    } else if (fHover && enabled) {
        face.setColorAt(0, QColor(0x62, 0x62, 0x62));
        face.setColorAt(1, QColor(0x40, 0x40, 0x40));
    } else {
        face.setColorAt(0, colour::ButtonTop);
        face.setColorAt(1, colour::ButtonBottom);
    }
    p.fillRect(r, face);
    // Lit edge top and left, shade bottom and right; swapped while pressed.
    const QColor lit(0x6e, 0x6e, 0x6e), shade(0x0c, 0x0c, 0x0c);
    p.setPen(sunken ? shade : lit);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(sunken ? lit.darker(130) : shade);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    const QPoint shift = sunken ? QPoint(1, 1) : QPoint(0, 0);
    const QRect pictureArea = pictureRect().translated(shift);
    if (!text().isEmpty()) {
        const int captionWidth = fontMetrics().horizontalAdvance(text());
        const QRect caption(pictureArea.left() - CaptionGap - captionWidth, r.top(), captionWidth, r.height());
        p.setPen(enabled ? colour::Text : colour::TextDisabled);
        p.drawText(caption.translated(0, shift.y()), Qt::AlignCenter, text());
    }
    if (const QPixmap& picture = this->picture(); !picture.isNull()) {
        if (enabled) {
            p.drawPixmap(pictureArea.topLeft(), picture);
        } else {
            QStyleOption option;
            option.initFrom(this);
            p.drawPixmap(pictureArea.topLeft(), style()->generatedIconPixmap(QIcon::Disabled, picture, &option));
        }
    }
}

void TPictureButton::enterEvent(QEnterEvent* event)
{
    fHover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TPictureButton::leaveEvent(QEvent* event)
{
    fHover = false;
    update();
    QAbstractButton::leaveEvent(event);
}
