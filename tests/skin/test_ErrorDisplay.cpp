// The general error display: a message box that waits for the player, replaceable by tests.
#include "skin/ErrorDisplay.h"

#include "TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The player confirms every message box as soon as it shows; what it showed is kept.
class ConfirmingPlayer {
public:
    ConfirmingPlayer()
    {
        fTimer.setInterval(10);
        QObject::connect(&fTimer, &QTimer::timeout, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(window);
                if (!box || !box->isVisible())
                    continue;
                texts.push_back(box->text());
                icons.push_back(box->icon());
                parents.push_back(box->parentWidget());
                box->accept();
            }
        });
        fTimer.start();
    }

    std::vector<QString> texts;
    std::vector<QMessageBox::Icon> icons;
    std::vector<QWidget*> parents;

private:
    QTimer fTimer;
};

class ErrorDisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tarv::test::ensureApplication();
        tarv::skin::setErrorDisplay({});
    }
};

TEST_F(ErrorDisplayTest, WithoutAReplacementTheErrorIsShownInAMessageBox)
{
    ConfirmingPlayer player;
    tarv::skin::ShowError("Gerät fehlt");

    EXPECT_EQ(player.texts, std::vector<QString>{"Gerät fehlt"});
    EXPECT_EQ(player.icons, std::vector<QMessageBox::Icon>{QMessageBox::Critical});
}

// A notice returns only once the player confirmed it, from a box over the window it names.
TEST_F(ErrorDisplayTest, ANoticeWaitsForThePlayerInABoxWithoutTheErrorIcon)
{
    QWidget dialog;
    dialog.show();
    ConfirmingPlayer player;
    tarv::skin::ShowNotice("Gerät steht nicht mehr zur Verfügung", &dialog);

    EXPECT_EQ(player.texts, std::vector<QString>{"Gerät steht nicht mehr zur Verfügung"});
    EXPECT_EQ(player.icons, std::vector<QMessageBox::Icon>{QMessageBox::NoIcon});
    EXPECT_EQ(player.parents, std::vector<QWidget*>{&dialog});
}

TEST_F(ErrorDisplayTest, AReplacementTakesErrorsAndNoticesAndGivesBackThePreviousOne)
{
    std::vector<QString> first, second;
    tarv::skin::setErrorDisplay([&first](const QString& text) { first.push_back(text); });
    const tarv::skin::TErrorDisplay previous =
        tarv::skin::setErrorDisplay([&second](const QString& text) { second.push_back(text); });
    tarv::skin::ShowError("Port 2 antwortet nicht");
    tarv::skin::ShowNotice("Gerät steht nicht mehr zur Verfügung");
    tarv::skin::setErrorDisplay(previous);
    tarv::skin::ShowError("Out 1 ist belegt");

    EXPECT_EQ(first, std::vector<QString>{"Out 1 ist belegt"});
    EXPECT_EQ(second, (std::vector<QString>{"Port 2 antwortet nicht", "Gerät steht nicht mehr zur Verfügung"}));
    tarv::skin::setErrorDisplay({});
}

}   // namespace
