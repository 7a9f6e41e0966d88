// TLinkPanel: a panel showing a web address that reports clicks.
#pragma once

#include <QLabel>

// Shows its text centred with a hand pointer; a left click released over it emits clicked().
// Opening the address is the owner's business.
class TLinkPanel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkPanel(QWidget* parent = nullptr);
    explicit TLinkPanel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool fPressed = false;
};
