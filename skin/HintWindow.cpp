// The hint window: replaces Qt's tooltips and decides, ShowHint / ParentShowHint, which control shows one.
#include "skin/Skin.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace tarv::skin {

namespace {

const char* const ShowHintProperty = "tarvShowHint";
const char* const ParentShowHintProperty = "tarvParentShowHint";

constexpr int HintPadding = 4;      // inside the border, pixels
constexpr int PointerOffset = 20;   // the window appears this far below the pointer

std::chrono::milliseconds hideTimeout{10000};

// Hint texts separate their lines with CR LF.
QString hintLines(const QString& hint)
{
    QString text = hint;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

class THintWindow : public QWidget {
public:
    THintWindow() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
    {
        setObjectName(QStringLiteral("tarvHintWindow"));
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setHint(const QString& hint)
    {
        fText = hintLines(hint);
        const QFontMetrics fm(font());
        const int inner = hintMaxWidth - 2 * (HintPadding + 1);
        fFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
        QRect need = fm.boundingRect(QRect(0, 0, inner, 100000), fFlags, fText);
        if (need.width() > inner) {   // one word longer than the window: break it anywhere
            fFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere;
            need = fm.boundingRect(QRect(0, 0, inner, 100000), fFlags, fText);
        }
        resize(std::min(need.width(), inner) + 2 * (HintPadding + 1), need.height() + 2 * (HintPadding + 1));
        update();
    }

    QString text() const { return fText; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), colour::HintBackground);
        p.setPen(colour::Yellow);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.setPen(colour::Text);
        p.drawText(rect().adjusted(HintPadding + 1, HintPadding + 1, -HintPadding - 1, -HintPadding - 1), fFlags,
                   fText);
    }

private:
    QString fText;
    int fFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
};

// One per application: filters every event of the UI thread for tooltip requests, pointer
// movements out of the hinted control, clicks and keys.
class THintManager : public QObject {
public:
    explicit THintManager(QObject* parent) : QObject(parent)
    {
        fTimer.setSingleShot(true);
        connect(&fTimer, &QTimer::timeout, this, [this] { hide(true); });
    }

    ~THintManager() override { delete fWindow; }

    bool show(QWidget* control, const QPoint& globalPos)
    {
        if (fWindow && fWindow->isVisible() && fControl == control)
            return true;   // already shown for this control; it keeps its place and its time
        if (control == fExpired)
            return false;   // timed out or dismissed: not again until the pointer leaves it
        present(control->toolTip(), globalPos, hideTimeout);
        fControl = control;
        fExpired = nullptr;
        return true;
    }

    // A notice belongs to no control: keys and clicks leave it, its time or another hint ends it.
    void notice(const QString& text, const QPoint& globalPos, std::chrono::milliseconds duration)
    {
        present(text, globalPos, duration);
        fControl = nullptr;
    }

    // A hide on the player's action or by time keeps the hint away until the pointer leaves.
    void hide(bool expire)
    {
        fTimer.stop();
        if (expire && fControl)
            fExpired = fControl;
        fControl = nullptr;
        if (fWindow)
            fWindow->hide();
    }

    QWidget* visibleWindow() const { return fWindow && fWindow->isVisible() ? fWindow : nullptr; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ToolTip:
            return toolTip(watched, static_cast<QHelpEvent*>(event));
        case QEvent::Leave:
            if (watched == fExpired)
                fExpired = nullptr;
            if (watched == fControl)
                hide(false);
            break;
        case QEvent::Hide:
        case QEvent::EnabledChange:
            if (watched == fControl)
                hide(false);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            if (fControl)
                hide(true);
            break;
        case QEvent::ApplicationDeactivate:
            hide(false);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void present(const QString& text, const QPoint& globalPos, std::chrono::milliseconds duration)
    {
        if (!fWindow)
            fWindow = new THintWindow;
        fWindow->setFont(QApplication::font());
        fWindow->setHint(text);
        fWindow->move(placeOnScreen(globalPos, fWindow->size()));
        fWindow->show();
        fWindow->raise();
        fTimer.start(duration);
    }

    // Qt offers the request to the widget under the pointer and then to its parents until one
    // takes it; the first with a hint text decides, by its own effective ShowHint.
    bool toolTip(QObject* watched, QHelpEvent* event)
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget == fWindow)
            return false;
        if (widget->toolTip().isEmpty())
            return false;   // let the parent answer
        event->accept();
        if (!effectiveShowHint(widget)) {
            hide(false);
            return true;
        }
        show(widget, event->globalPos());
        return true;
    }

    static QPoint placeOnScreen(const QPoint& pointer, const QSize& size)
    {
        QPoint pos = pointer + QPoint(0, PointerOffset);
        const QScreen* screen = QGuiApplication::screenAt(pointer);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (!screen)
            return pos;
        const QRect area = screen->availableGeometry();
        if (pos.x() + size.width() > area.right() + 1)
            pos.setX(area.right() + 1 - size.width());
        if (pos.y() + size.height() > area.bottom() + 1)
            pos.setY(pointer.y() - size.height() - 2);   // above the pointer instead
        pos.setX(std::max(pos.x(), area.left()));
        pos.setY(std::max(pos.y(), area.top()));
        return pos;
    }

    QTimer fTimer;
    QPointer<THintWindow> fWindow;   // a top-level window without parent, so deleted by hand
    QPointer<QWidget> fControl;
    QPointer<QWidget> fExpired;
};

QPointer<THintManager> manager;

}   // namespace

void installHintWindow(QApplication& app)
{
    if (manager)
        return;
    manager = new THintManager(&app);
    app.installEventFilter(manager);
}

void setHintHideTimeout(std::chrono::milliseconds timeout)
{
    hideTimeout = timeout;
}

std::chrono::milliseconds hintHideTimeout()
{
    return hideTimeout;
}

void setShowHint(QWidget* widget, bool show)
{
    if (!widget)
        return;
    widget->setProperty(ShowHintProperty, show);
    widget->setProperty(ParentShowHintProperty, false);
}

void setParentShowHint(QWidget* widget, bool inherit)
{
    if (!widget)
        return;
    // Giving up the parent's value keeps the value in force at that moment.
    if (!inherit && !widget->property(ShowHintProperty).isValid())
        widget->setProperty(ShowHintProperty, effectiveShowHint(widget));
    widget->setProperty(ParentShowHintProperty, inherit);
}

bool showHint(const QWidget* widget)
{
    const QVariant value = widget ? widget->property(ShowHintProperty) : QVariant();
    return value.isValid() ? value.toBool() : true;
}

bool parentShowHint(const QWidget* widget)
{
    const QVariant value = widget ? widget->property(ParentShowHintProperty) : QVariant();
    return value.isValid() ? value.toBool() : true;
}

bool effectiveShowHint(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (!parentShowHint(w) || w->isWindow())
            return showHint(w);
    }
    return true;
}

QWidget* currentHintWindow()
{
    return manager ? manager->visibleWindow() : nullptr;
}

QString currentHintText()
{
    const auto* window = static_cast<const THintWindow*>(currentHintWindow());
    return window ? window->text() : QString();
}

bool showHintFor(QWidget* widget, const QPoint& globalPos)
{
    if (!manager)
        return false;
    for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (w->toolTip().isEmpty())
            continue;
        if (!effectiveShowHint(w)) {
            manager->hide(false);
            return false;
        }
        return manager->show(w, globalPos);
    }
    return false;
}

void showHintNotice(const QString& text, const QPoint& globalPos, std::chrono::milliseconds duration)
{
    if (manager)
        manager->notice(text, globalPos, duration);
}

void hideHint()
{
    if (manager)
        manager->hide(false);
}

}   // namespace tarv::skin
