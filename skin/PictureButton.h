// TPictureButton: a button showing a picture with an optional caption left of it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <functional>

// The caption sits 2 pixels left of the picture; caption and picture are centred together.
// No focus frame is drawn. Clicks arrive through QAbstractButton::clicked.
class TPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TPictureButton(QWidget* parent = nullptr);

    QPixmap Picture() const { return picture(); }
    void setPicture(const QPixmap& picture);
    // The picture is made by `make` when the button first needs it (to paint or to measure
    // itself): a button that starts hidden under a cover costs the start nothing.
    void setPictureMaker(std::function<QPixmap()> make);
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
    const QPixmap& picture() const;
    mutable QPixmap fPicture;
    mutable std::function<QPixmap()> fMakePicture;
    bool fHover = false;
};
