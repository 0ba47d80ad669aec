#include "app/harbor_app.h"
#include "app/main_frame.h"
#include "version/version.h"
#include "widgets/message_box_dialog.h"

#include "qt_test_util.h"

#include <QDockWidget>
#include <QLabel>

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Magic(const QTemporaryDir& dir)
{
    QFile f(dir.filePath("magic.vek"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct StartUp : testing::Test {
    QTemporaryDir workspace;
    QTemporaryDir runtime;
    QStringList messages;
    QStringList started; // driver installers the console started

    std::unique_ptr<CHarborApp> Make()
    {
        CHarborApp::Options options;
        options.strWorkspaceFolder = workspace.path();
        options.strRuntimeFolder = runtime.path();
        options.strExecutableName = "nemora-test";
        options.showPlainMessage = [this](const QString& text) { messages << text; };
        options.bShowWindow = false;
        options.startProgram = [this](const QString& path) {
            started << path;
            return 42;
        };
        return std::make_unique<CHarborApp>(options);
    }
};

TEST_F(StartUp, FirstRunCountsResetsTheLayoutAndMarksTheInstallationOnce)
{
    {
        QSettings settings("Orvane", "Nemora");
        settings.setValue("Workspace/State", QByteArray("old"));
        settings.setValue("Settings/ACC_CNT", 9);
    }
    auto app = Make();
    EXPECT_FALSE(app->InitInstance().has_value());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(Magic(workspace), QByteArray::fromHex("0700000001000000")); // counted, then marked by the view
    QSettings settings("Orvane", "Nemora");
    EXPECT_FALSE(settings.contains("Workspace/State"));
    EXPECT_EQ(settings.value("Settings/ACC_CNT").toInt(), 0);
    EXPECT_EQ(app->MainFrame()->windowTitle(), "Nemorate");
    ASSERT_EQ(started.size(), 1); // the first-run driver installation
    EXPECT_TRUE(started[0].startsWith(QCoreApplication::applicationDirPath() + "/Driver/")) << started[0].toStdString();
    EXPECT_FALSE(app->CheckFirstRun());
}

TEST_F(StartUp, SecondCopyChangesNothingAndEndsWithZero)
{
    auto first = Make();
    ASSERT_FALSE(first->InitInstance().has_value());
    const QByteArray before = Magic(workspace);

    auto second = Make();
    EXPECT_EQ(second->InitInstance(), std::optional<int>(0));
    EXPECT_EQ(messages, QStringList{"The program is already running!!!"});
    EXPECT_EQ(Magic(workspace), before);
    EXPECT_EQ(second->MainFrame(), nullptr);

    first.reset(); // the lock goes with the first copy
    auto third = Make();
    EXPECT_FALSE(third->InitInstance().has_value());
    EXPECT_EQ(Magic(workspace).at(4), 2);
}

TEST_F(StartUp, LaterRunsKeepTheLayoutAndSaturate)
{
    QFile f(workspace.filePath("magic.vek"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("07000000C7000000")); // 199 launches
    f.close();
    {
        QSettings settings("Orvane", "Nemora");
        settings.setValue("Workspace/State", QByteArray("kept"));
    }
    for (int run = 0; run < 2; ++run) {
        auto app = Make();
        EXPECT_FALSE(app->InitInstance().has_value());
    }
    EXPECT_EQ(Magic(workspace), QByteArray::fromHex("07000000C8000000"));
    QSettings settings("Orvane", "Nemora");
    EXPECT_TRUE(settings.contains("Workspace/State"));
}

TEST_F(StartUp, UnreachableCounterFileIsReportedAndStartUpGoesOn)
{
    QFile blocker(workspace.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CHarborApp::Options options;
    options.strWorkspaceFolder = workspace.filePath("blocked"); // a file, not a folder
    options.strRuntimeFolder = runtime.path();
    options.strExecutableName = "nemora-test";
    options.showPlainMessage = [this](const QString& text) { messages << text; };
    options.bShowWindow = false;
    options.startProgram = [](const QString&) { return 42; };
    CHarborApp app(options);
    EXPECT_FALSE(app.InitInstance().has_value());
    // Start-up names the folder and leaves it alone; the welcome page and the first-run check report the file.
    ASSERT_EQ(messages.size(), 3);
    EXPECT_TRUE(messages[0].startsWith("Unable to use the workspace folder " + workspace.filePath("blocked") +
                                       " is not a folder"))
        << messages[0].toStdString();
    EXPECT_EQ(messages.mid(1), QStringList(2, " Can not access Magic File! "));
}

TEST_F(StartUp, StaleLockFromACrashedRunDoesNotBlock)
{
    QFile stale(runtime.filePath("nemora-test.lock"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    // What a crashed run leaves: the lock names a process of this machine that no longer exists.
    stale.write("999999\nnemora-test\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    auto app = Make();
    EXPECT_FALSE(app->InitInstance().has_value());
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace

namespace {

TEST_F(StartUp, HandBookReportsAMissingManualWithTheShellNumber)
{
    auto app = Make();
    ASSERT_FALSE(app->InitInstance().has_value());
    QString text, title;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<CMessageBoxDialog*>(modal);
        text = box->Text();
        title = box->windowTitle();
        EXPECT_NE(box->Button(nemora::widgets::kIdCancel), nullptr); // OK/Cancel with a question
        box->Button(nemora::widgets::kIdOk)->click();
    });
    app->OnHelpHandBook();
    EXPECT_EQ(text, "2  error code");
    EXPECT_EQ(title, "Nemora");
}

TEST_F(StartUp, AboutShowsTheVersionLineAndTheVersions)
{
    auto app = Make();
    ASSERT_FALSE(app->InitInstance().has_value());
    QString title;
    QStringList texts;
    OnNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        for (QLabel* label : modal->findChildren<QLabel*>())
            texts << label->text();
        ClickButton(modal, "OK");
    });
    app->OnAppAbout();
    EXPECT_EQ(title, "About Application");
    // The product line, then what `nemora --version` prints.
    EXPECT_EQ(texts,
              (QStringList{QString::fromUtf8("Nemora\uFF0CV1.2"),
                           QString::fromStdString(nemora::version::VersionText("nemora", qVersion())).trimmed()}));
}

TEST_F(StartUp, TheWindowLayoutIsSavedAndRestored)
{
    {
        auto app = Make();
        ASSERT_FALSE(app->InitInstance().has_value());
        app->MainFrame()->LogPane()->hide();
        app->MainFrame()->SaveWorkspace();
    }
    auto again = Make();
    ASSERT_FALSE(again->InitInstance().has_value());
    EXPECT_TRUE(again->MainFrame()->LogPane()->isHidden());
}

} // namespace
