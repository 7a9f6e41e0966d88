// Applying the skin: style, palette, font and style sheet; roles, hand pointers and tab stops.
#include "skin/Skin.h"

#include "skin/LinkPanel.h"
#include "skin/SkinStyle.h"
#include "skin/SlideSwitch.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>

#include <mutex>
#include <utility>

// Q_INIT_RESOURCE must not be used inside a namespace.
static void initSkinResources()
{
    Q_INIT_RESOURCE(skin);
}

namespace tarv::skin {

void detail::ensureResources()
{
    static std::once_flag once;
    std::call_once(once, [] { initSkinResources(); });
}

namespace {

// The names the style sheet may use for the skin's colours.
// clang-format off
const std::pair<const char*, const QColor*> colourNames[] = {
    {"window", &colour::Window},
    {"panel", &colour::Panel},
    {"panellight", &colour::PanelLight},
    {"paneldark", &colour::PanelDark},
    {"text", &colour::Text},
    {"textdisabled", &colour::TextDisabled},
    {"yellow", &colour::Yellow},
    {"olive", &colour::Olive},
    {"silver", &colour::Silver},
    {"buttontop", &colour::ButtonTop},
    {"buttonbottom", &colour::ButtonBottom},
    {"groove", &colour::Groove},
    {"hintbackground", &colour::HintBackground},
    {"cover", &colour::Cover},
};
// clang-format on

QPalette skinPalette()
{
    QPalette p;
    const QColor black(0, 0, 0);
    p.setColor(QPalette::Window, colour::Window);
    p.setColor(QPalette::WindowText, colour::Text);
    p.setColor(QPalette::Base, QColor(0x1c, 0x1c, 0x1c));
    p.setColor(QPalette::AlternateBase, QColor(0x24, 0x24, 0x24));
    p.setColor(QPalette::Text, colour::Text);
    p.setColor(QPalette::PlaceholderText, colour::TextDisabled);
    p.setColor(QPalette::Button, QColor(0x44, 0x44, 0x44));
    p.setColor(QPalette::ButtonText, colour::Text);
    p.setColor(QPalette::BrightText, colour::Yellow);
    p.setColor(QPalette::Light, QColor(0x5a, 0x5a, 0x5a));
    p.setColor(QPalette::Midlight, colour::PanelLight);
    p.setColor(QPalette::Mid, QColor(0x2a, 0x2a, 0x2a));
    p.setColor(QPalette::Dark, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Shadow, QColor(0x0a, 0x0a, 0x0a));
    p.setColor(QPalette::Highlight, colour::Yellow);
    p.setColor(QPalette::HighlightedText, black);
    p.setColor(QPalette::ToolTipBase, colour::HintBackground);
    p.setColor(QPalette::ToolTipText, colour::Text);
    p.setColor(QPalette::Link, QColor(0x9f, 0xd0, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xc8, 0xa8, 0xff));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, colour::TextDisabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x6a, 0x6a, 0x6a));
    return p;
}

// Narrow faces first: the captions must fit 35-pixel buttons. Tahoma, narrow enough, is on every
// Windows system (and in Wine) where none of the others is.
QFont skinFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Arial Narrow"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Tahoma")});
    font.setPixelSize(11);
    return font;
}

bool isActiveControl(const QWidget* w)
{
    if (qobject_cast<const QScrollBar*>(w))
        return false;
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSlider*>(w)
        || qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w)
        || qobject_cast<const TSlideSwitch*>(w) || qobject_cast<const TLinkPanel*>(w);
}

// What a widget with a role needs besides its property.
void takeRoleLook(QWidget* widget)
{
    // Plain QWidget subclasses draw a style-sheet background only with this attribute.
    widget->setAttribute(Qt::WA_StyledBackground, true);
    widget->setAttribute(Qt::WA_Hover, true);   // for the :hover looks of the sheet
}

}   // namespace

QString styleSheet()
{
    detail::ensureResources();
    QFile file(QStringLiteral(":/tarv/skin/tarv.qss"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
#ifdef TARV_PNG_PICTURES
    // The pictures were rendered to PNG at build time, under the same names.
    const QString sheet = QString::fromUtf8(file.readAll()).replace(QLatin1String(".svg)"), QLatin1String(".png)"));
#else
    const QString sheet = QString::fromUtf8(file.readAll());
#endif

    static const QRegularExpression name(QStringLiteral("@([a-z]+)"));
    QString result;
    result.reserve(sheet.size());
    qsizetype done = 0;
    for (auto it = name.globalMatch(sheet); it.hasNext();) {
        const auto match = it.next();
        result += QStringView(sheet).mid(done, match.capturedStart() - done);
        QString replacement = match.captured(0);   // an unknown name stays visible in the sheet
        for (const auto& [key, value] : colourNames) {
            if (match.capturedView(1) == QLatin1String(key)) {
                replacement = value->name();
                break;
            }
        }
        result += replacement;
        done = match.capturedEnd();
    }
    result += QStringView(sheet).mid(done);
    return result;
}

void apply(QApplication& app)
{
    detail::ensureResources();
    app.setStyle(new TSkinStyle);   // the application owns its style
    app.setPalette(skinPalette());
    app.setFont(skinFont());
    app.setStyleSheet(styleSheet());
    installHintWindow(app);
}

void setRole(QWidget* widget, const char* role)
{
    if (!widget)
        return;
    widget->setProperty("skinRole", QString::fromLatin1(role));
    takeRoleLook(widget);
    // A widget not polished yet takes its role's look when it is first shown; polishing each
    // one while a window is built would cost that window's construction a third of its time.
    if (widget->testAttribute(Qt::WA_WState_Polished)) {
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        widget->update();
    }
}

void setHandCursor(QWidget* widget)
{
    if (!widget)
        return;
    widget->setCursor(Qt::PointingHandCursor);
    // A spin edit's text field carries its own I-beam pointer.
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        for (auto* edit : spin->findChildren<QLineEdit*>())
            edit->setCursor(Qt::PointingHandCursor);
    }
}

void noTabStop(QWidget* widget)
{
    if (!widget)
        return;
    // Buttons and labels act on clicks without ever holding the focus; controls that the
    // arrow keys or the wheel drive keep taking the focus from a click.
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLabel*>(widget)) {
        widget->setFocusPolicy(Qt::NoFocus);
        return;
    }
    if (widget->focusPolicy() == Qt::NoFocus)
        return;
    widget->setFocusPolicy(Qt::ClickFocus);
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        for (auto* edit : spin->findChildren<QLineEdit*>())
            edit->setFocusPolicy(Qt::ClickFocus);
    }
}

void prepareControls(QWidget* root)
{
    if (!root)
        return;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        // Popups (the drop-down list of a combo box) run their own focus.
        if (w->window() != root->window())
            continue;
        // A form gives the role as the bare property.
        if (w->property("skinRole").isValid())
            takeRoleLook(w);
        if (isActiveControl(w))
            setHandCursor(w);
        if (qobject_cast<TSlideSwitch*>(w))
            w->setFocusPolicy(Qt::StrongFocus);
        else
            noTabStop(w);
    }
}

}   // namespace tarv::skin
