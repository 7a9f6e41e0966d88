// The application object: exceptions that leave handlers are shown and the program goes on; the
// termination signals close the windows.
#include "TestSupport.h"

#include "mainwindow/Application.h"
#include "midi/MidiService.h"
#include "skin/ErrorDisplay.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <vector>

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_Application";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            new tarv::TApplication(argc, argv);
        }
        tarv::skin::setErrorDisplay([this](const QString& text) { shown.push_back(text); });
    }

    void TearDown() override { tarv::skin::setErrorDisplay({}); }

    std::vector<QString> shown;
};

TEST_F(ApplicationTest, AnExceptionFromAQueuedCallIsShownAndTheLoopGoesOn)
{
    bool later = false;
    QMetaObject::invokeMethod(
        qApp, [] { throw tarv::MidiServiceError("Port 2 antwortet nicht"); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        qApp, [&later] { later = true; }, Qt::QueuedConnection);

    ASSERT_TRUE(tarv::test::waitFor([&later] { return later; }));
    EXPECT_EQ(shown, std::vector<QString>{"Port 2 antwortet nicht"});
}

TEST_F(ApplicationTest, AnExceptionFromAClickHandlerIsShownAndTheButtonStillWorks)
{
    QPushButton button("Reset");
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        if (++clicks == 1)
            throw std::runtime_error("In /x/tarvParameter.ini kann nicht geschrieben werden");
    });
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);

    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(shown, std::vector<QString>{"In /x/tarvParameter.ini kann nicht geschrieben werden"});
}

#ifndef _WIN32   // see TARV_NOT_ON_WINDOWS in tests/CMakeLists.txt
// A window that records being closed (the main window saves its settings there).
class ClosingWindow : public QWidget {
public:
    int closes = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closes;
        QWidget::closeEvent(event);
    }
};

TEST_F(ApplicationTest, TerminationSignalsCloseTheWindowsThroughTheMessageLoop)
{
    tarv::CloseWindowsOnTerminationSignals();
    tarv::CloseWindowsOnTerminationSignals();   // a second call changes nothing
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        ClosingWindow window;
        window.show();
        ASSERT_EQ(std::raise(signal), 0);   // the process goes on: the handler only notes it
        EXPECT_EQ(window.closes, 0) << "closed inside the signal handler";
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes == 1; }, 2000)) << "signal " << signal;
        EXPECT_FALSE(window.isVisible());
    }
}
#endif

}   // namespace
