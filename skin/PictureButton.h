// TPictureButton: a button showing a picture with an optional caption left of it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

// The caption sits 2 pixels left of the picture; caption and picture are centred together.
// No focus frame is drawn. Clicks arrive through QAbstractButton::clicked.
class TPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TPictureButton(QWidget* parent = nullptr);

    QPixmap Picture() const { return fPicture; }
    void setPicture(const QPixmap& picture);
    QString Caption() const { return text(); }
    void setCaption(const QString& caption);

    // Where the picture lands inside the button (widget coordinates).
    QRect pictureRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    static constexpr int CaptionGap = 2;
    QPixmap fPicture;
    bool fHover = false;
};
