// The general error display: a message box that waits for the player, or what a test put instead.
#include "skin/ErrorDisplay.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace tarv::skin {

namespace {

TErrorDisplay& errorDisplay()
{
    static TErrorDisplay display;
    return display;
}

void Show(const QString& text, QMessageBox::Icon icon, QWidget* over)
{
    if (const TErrorDisplay& display = errorDisplay()) {
        display(text);
        return;
    }
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    over ? over : QApplication::activeWindow());
    // The skin's font: Windows gives the text of message boxes a font of its own.
    box.setFont(QApplication::font());
    box.exec();
}

}   // namespace

void ShowError(const QString& text)
{
    Show(text, QMessageBox::Critical, nullptr);
}

void ShowNotice(const QString& text, QWidget* over)
{
    Show(text, QMessageBox::NoIcon, over);
}

TErrorDisplay setErrorDisplay(TErrorDisplay display)
{
    return std::exchange(errorDisplay(), std::move(display));
}

}   // namespace tarv::skin
