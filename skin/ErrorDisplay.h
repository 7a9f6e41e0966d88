// The application's general error display: every failure the player is told of goes through it.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tarv::skin {

// Shows a failure in a message box with the error icon, over the active window, and returns
// when the player has confirmed it. UI thread only (other threads post to it first).
void ShowError(const QString& text);
// Shows a notice the same way, without the error icon, over `over` (the active window when
// null); the caller goes on only after the player confirmed it.
void ShowNotice(const QString& text, QWidget* over = nullptr);

// Replaces the message box of both (tests record the texts instead of a box that waits for a
// click); an empty function brings the box back. Returns the previous display.
using TErrorDisplay = std::function<void(const QString& text)>;
TErrorDisplay setErrorDisplay(TErrorDisplay display);

}   // namespace tarv::skin
