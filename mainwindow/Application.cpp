// The application object: catches what escapes a handler and shows it in a message box.
#include "Application.h"

#include <QMessageBox>

#include <exception>
#include <utility>

namespace tarv {

namespace {

TErrorDisplay& errorDisplay()
{
    static TErrorDisplay display;
    return display;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowError(QStringLiteral("Unbekannter Fehler"));
    }
    return false;
}

void ShowError(const QString& text)
{
    if (const TErrorDisplay& display = errorDisplay()) {
        display(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

TErrorDisplay setErrorDisplay(TErrorDisplay display)
{
    return std::exchange(errorDisplay(), std::move(display));
}

}  // namespace tarv
