#include "app/harbor_view.h"
#include "app/main_frame.h"
#include "app/page_welcome.h"

#include "qt_test_util.h"

#include <QFocusEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

struct RecordingFrame : IFrameServices {
    Log& log;
    CHarborView* view = nullptr;
    bool firstRunDue = false;
    explicit RecordingFrame(Log& l) : log(l) {}
    bool OnNotify(std::uintptr_t, PAGE_NOTIFY& n) override
    {
        log.push_back("frame:" + std::to_string(n.code) + ":" + n.strText.toStdString());
        return true;
    }
    void EnumerateDevices() override
    {
        log.push_back("frame:enumerate");
        PAGE_NOTIFY n;
        n.code = NOTIFY_DEVICE_CHANGED;
        n.strText = "PATH";
        view->OnNotify(0, n);
    }
    bool CheckFirstRun() override
    {
        log.push_back("frame:firstrun");
        return firstRunDue;
    }
};

struct RecordingCustom : ICustomizePageRoute {
    Log& log;
    CDeviceIdentity identity;
    explicit RecordingCustom(Log& l) : log(l) {}
    void SetDevicePath(const QString& p) override
    {
        log.push_back("custom:path:" + p.toStdString());
        identity.SetIds(0x0483, 0xDF11, 0x0300); // the device turns out to be model 12
    }
    CDeviceIdentity& DeviceIdentity() override { return identity; }
    void ApplyElement() override { log.push_back("custom:apply"); }
    void OnDisconnect() override { log.push_back("custom:disconnect"); }
    void RestoreSnapshot(const QString& p) override { log.push_back("custom:restore:" + p.toStdString()); }
    void OnEngineDone(const QObject*) override { log.push_back("custom:done"); }
};

struct RecordingUpdate : IRomUpdatePageRoute {
    Log& log;
    CDeviceIdentity identity;
    explicit RecordingUpdate(Log& l) : log(l) {}
    CDeviceIdentity& DeviceIdentity() override { return identity; }
    void SetDevicePath(const QString& p) override
    {
        log.push_back("update:path:" + p.toStdString() + ":bcd" + std::to_string(identity.m_wBcdDevice));
    }
    void EnableDownload(bool on) override { log.push_back(std::string("update:enable:") + (on ? "1" : "0")); }
    void OnEngineDone(const QObject*) override { log.push_back("update:done"); }
};

struct RecordingInfo : IInfoPageRoute {
    Log& log;
    CDeviceIdentity identity;
    explicit RecordingInfo(Log& l) : log(l) {}
    CDeviceIdentity& DeviceIdentity() override { return identity; }
    void UpdateDeviceInfo() override { log.push_back("info:update:bcd" + std::to_string(identity.m_wBcdDevice)); }
    void InstallDriver() override { log.push_back("info:install"); }
};

struct ViewFixture : testing::Test {
    Log log;
    RecordingFrame frame{log};
    RecordingCustom custom{log};
    RecordingUpdate update{log};
    RecordingInfo info{log};
    std::unique_ptr<CHarborView> view;

    void Build(bool allPages = true)
    {
        HarborViewPages pages;
        if (allPages) {
            pages.pCustomRoute = &custom;
            pages.pUpdateRoute = &update;
            pages.pInfoRoute = &info;
        }
        view = std::make_unique<CHarborView>(nullptr, &frame, pages);
        frame.view = view.get();
    }
    void Send(std::uint32_t code, const QString& text = {}, std::uintptr_t id = 0)
    {
        PAGE_NOTIFY n;
        n.code = code;
        n.strText = text;
        view->OnNotify(id, n);
    }
};

TEST_F(ViewFixture, InitialUpdateBuildsTabsThenEnumeratesThenChecksTheFirstRun)
{
    frame.firstRunDue = true;
    Build();
    view->OnInitialUpdate();
    QTabWidget* tabs = view->TabControl();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "Welcome Page");
    EXPECT_EQ(tabs->tabText(1), "Device Information");
    EXPECT_EQ(tabs->tabText(2), "ROM Update");
    EXPECT_EQ(tabs->tabText(3), "Customize");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(log, (Log{"frame:enumerate", "custom:path:PATH", "frame:1030:Product 12", "update:path:PATH:bcd768",
                        "info:update:bcd768", "frame:firstrun", "info:install"}));

    log.clear();
    view->OnInitialUpdate(); // runs once only
    EXPECT_TRUE(log.empty());
}

TEST_F(ViewFixture, NoInstallWhenTheFirstRunIsNotDue)
{
    Build();
    view->OnInitialUpdate();
    EXPECT_EQ(log.back(), "frame:firstrun");
}

TEST_F(ViewFixture, EngineDisconnectAndUploadNotificationsReachTheirPages)
{
    Build();
    Send(NOTIFY_UPLOAD_DONE);
    Send(NOTIFY_DISCONNECT);
    Send(NOTIFY_ENGINE_DONE);
    Send(NOTIFY_INSTALL_DRIVER);
    Send(NOTIFY_RESTORE_SNAPSHOT, "/s.vek");
    Send(1027);
    Send(NOTIFY_DEVICE_NAME, "x");
    Send(NOTIFY_DISCONNECT, {}, 5); // identifier not 0: not ours
    EXPECT_EQ(log, (Log{"custom:apply", "custom:disconnect", "update:enable:1", "update:done", "custom:done",
                        "info:install", "custom:restore:/s.vek"}));
}

TEST_F(ViewFixture, EmptyPathGivesAnEmptyModelName)
{
    Build();
    custom.identity.Reset();
    log.clear();
    PAGE_NOTIFY n;
    n.code = NOTIFY_DEVICE_CHANGED;
    struct ResettingCustom : RecordingCustom {
        using RecordingCustom::RecordingCustom;
        void SetDevicePath(const QString& p) override
        {
            log.push_back("custom:path:" + p.toStdString());
            identity.Reset();
        }
    } resetting{log};
    HarborViewPages pages;
    pages.pCustomRoute = &resetting;
    pages.pInfoRoute = &info;
    pages.pUpdateRoute = &update;
    info.identity.SetIds(1, 2, 0x0040);
    CHarborView v(nullptr, &frame, pages);
    v.OnNotify(0, n);
    EXPECT_EQ(log, (Log{"custom:path:", "frame:1030:", "update:path::bcd0", "info:update:bcd0"}));
    EXPECT_EQ(info.identity.m_wVid, 0);
}

TEST_F(ViewFixture, MissingPagesAreSkipped)
{
    Build(false);
    view->OnInitialUpdate();
    Send(NOTIFY_UPLOAD_DONE);
    Send(NOTIFY_ENGINE_DONE);
    EXPECT_EQ(log, (Log{"frame:enumerate", "frame:1030:", "frame:firstrun"}));
}

TEST_F(ViewFixture, ShowPageMatchesTabLabelsExactly)
{
    Build();
    view->OnInitialUpdate();
    Send(NOTIFY_SHOW_PAGE, "ROM Update");
    EXPECT_EQ(view->TabControl()->currentIndex(), 2);
    Send(NOTIFY_SHOW_PAGE, "rom update");
    Send(NOTIFY_SHOW_PAGE, "Nowhere");
    EXPECT_EQ(view->TabControl()->currentIndex(), 2);
    Send(NOTIFY_SHOW_PAGE, "Customize");
    EXPECT_EQ(view->TabControl()->currentIndex(), 3);
}

TEST(MainFrame, NavigationTreeSelectsTabsAndCloseAsksFirst)
{
    MainFrameServices services;
    int firstRunChecks = 0;
    services.checkFirstRun = [&] {
        ++firstRunChecks;
        return false;
    };
    CMainFrame frame(services);
    frame.OnInitialUpdate();
    frame.show();
    EXPECT_EQ(firstRunChecks, 1);
    QTreeWidget* tree = frame.NavigationTree();
    ASSERT_EQ(tree->topLevelItemCount(), 4);
    // The tree getting the focus (as when a window such as the engine's gives it back) changes no page.
    frame.View()->TabControl()->setCurrentIndex(2);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(tree, &focusIn);
    EXPECT_EQ(frame.View()->TabControl()->currentIndex(), 2);
    tree->setCurrentItem(tree->topLevelItem(2));
    EXPECT_EQ(frame.View()->TabControl()->currentIndex(), 2);
    tree->setCurrentItem(tree->topLevelItem(2));
    EXPECT_EQ(frame.View()->TabControl()->currentIndex(), 2);
    frame.View()->TabControl()->setCurrentIndex(0);
    tree->setCurrentItem(tree->topLevelItem(1));
    EXPECT_EQ(frame.View()->TabControl()->currentIndex(), 1);

    QString asked;
    OnNextModal([&](QWidget* modal) {
        asked = modal->windowTitle();
        ClickButton(modal, "&No");
    });
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(asked, "Ask");
    EXPECT_TRUE(frame.isVisible());

    OnNextModal([](QWidget* modal) { ClickButton(modal, "&Yes"); });
    EXPECT_TRUE(frame.close());
}

TEST(WelcomePage, PlacesFromTheCentreAndCentresOnResize)
{
    int magicChecks = 0;
    CPageWelcome page(nullptr, [&] { ++magicChecks; });
    page.resize(600, 400);
    page.OnInitDialog();
    EXPECT_EQ(magicChecks, 1);
    EXPECT_EQ(page.Picture()->geometry(), QRect(300, 200, 255, 203));
    EXPECT_EQ(page.Title()->geometry(), QRect(200, 100, 600, 60));
    EXPECT_EQ(page.Hint()->geometry(), QRect(200, 500, 600, 60));
    EXPECT_EQ(page.Title()->text(), QString::fromUtf8("Welcome to use\u300eLumecraft\u300f"));
    EXPECT_EQ(page.Title()->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    page.show();
    page.resize(1000, 400);
    EXPECT_EQ(page.Title()->geometry().topLeft(), QPoint(200, 100));
    EXPECT_EQ(page.Picture()->geometry().topLeft(), QPoint(372, 200));
    EXPECT_EQ(page.Hint()->geometry().top(), 500);

    const QImage picture = CPageWelcome::WelcomePicture();
    EXPECT_EQ(picture.size(), QSize(251, 199));
}

} // namespace
