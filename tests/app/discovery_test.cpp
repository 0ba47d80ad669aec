#include "app/device_events.h"
#include "app/harbor_view.h"
#include "app/main_frame.h"
#include "device/page_info.h"
#include "dfu/dfu_update.h"
#include "settings/page_custom.h"
#include "sim/sim_transport.h"
#include "sim_frame_fixture.h"
#include "widgets/message_box_dialog.h"

#include "qt_test_util.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

constexpr const char* kDfuGuid = "{3FE809AB-FB91-4CB5-A643-69670D52366E}";

struct Discovery : SimFrameFixture {
    QString Sent() const { return frame->View()->DevicePath(); }
    QString Box() const { return frame->DeviceBox()->currentText(); }
    bool BoxShown() const { return frame->DeviceBox()->isVisibleTo(frame.get()); }
};

TEST_F(Discovery, NoDeviceSendsTheEmptyPathAndAnEmptyEntry)
{
    EXPECT_EQ(Sent(), "");
    EXPECT_TRUE(BoxShown());
    EXPECT_EQ(frame->DeviceBox()->count(), 1);
    EXPECT_EQ(Box(), "");
    EXPECT_EQ(frame->InfoPage()->ProductNameLabel()->text(), "Unknow product name");
    EXPECT_EQ(frame->InfoPage()->ModelLabel()->text(), "Unknow model");
}

TEST_F(Discovery, OneDeviceInUpdateModeIsNamed)
{
    Plug("bcd=0x004C");
    frame->OnDeviceChange();
    EXPECT_TRUE(Sent().endsWith(kDfuGuid));
    EXPECT_EQ(Sent(), Sent().toUpper());
    EXPECT_EQ(Box(), "Product 01");
    EXPECT_EQ(frame->DeviceBox()->count(), 1);
    EXPECT_EQ(frame->InfoPage()->ProductNameLabel()->text(), "Brand A");
    EXPECT_EQ(frame->InfoPage()->ModelLabel()->text(), "Product 01");

    Plug("bcd=0x0A00"); // an uncatalogued second device does not take over
    frame->OnDeviceChange();
    EXPECT_EQ(Box(), "Product 01");
}

TEST_F(Discovery, TheFirstDeviceOfThePreviousPassStaysChosen)
{
    const unsigned a = Plug("bcd=0x004C");
    Plug("bcd=0x0300");
    frame->OnDeviceChange();
    const QString pathA = Sent();
    EXPECT_EQ(Box(), "Product 01");

    transport->Unplug(a);
    frame->OnDeviceChange();
    const QString pathB = Sent();
    EXPECT_NE(pathB, pathA);
    EXPECT_EQ(Box(), "Product 12");

    Plug("bcd=0x004C"); // A comes back at the first free place and is listed before B
    frame->OnDeviceChange();
    EXPECT_EQ(frame->DevicePaths().front(), pathA);
    EXPECT_EQ(Sent(), pathB);

    // The next pass with the same devices: A came first in the previous pass, so A is chosen.
    Plug("mode=other");
    frame->OnDeviceChange();
    EXPECT_EQ(Sent(), pathA);
    EXPECT_EQ(frame->DevicePaths().size(), 2);
}

TEST_F(Discovery, TypingInTheDeviceBoxCannotPickAnotherDevice)
{
    Plug("bcd=0x004C");
    Plug("bcd=0x0300");
    frame->OnDeviceChange();
    const QString first = Sent();
    QTest::keyClicks(frame->DeviceBox(), "x");
    QTest::keyClick(frame->DeviceBox(), Qt::Key_Return);
    EXPECT_EQ(frame->DeviceBox()->count(), 2); // the two devices; typing added nothing
    frame->OnDeviceChange();
    EXPECT_EQ(Sent(), first);
}

// The box lists every device; a choice holds across other arrivals until the chosen device goes away,
// and the selection rule picks again then.
TEST_F(Discovery, ChoosingADeviceInTheBoxSelectsItForEveryPageUntilItGoesAway)
{
    Plug("bcd=0x004C");
    const unsigned second = Plug("bcd=0x0300");
    frame->OnDeviceChange();
    ASSERT_EQ(frame->DeviceBox()->count(), 2);
    EXPECT_TRUE(frame->DeviceBox()->itemText(1).startsWith("Product 12 (update mode"));
    emit frame->DeviceBox()->activated(1);
    EXPECT_EQ(Sent(), frame->DevicePaths()[1]);
    EXPECT_EQ(Box(), "Product 12");
    EXPECT_EQ(frame->InfoPage()->ModelLabel()->text(), "Product 12");

    Plug("mode=other");
    frame->OnDeviceChange();
    EXPECT_EQ(Box(), "Product 12");

    transport->Unplug(second);
    frame->OnDeviceChange();
    EXPECT_EQ(Sent(), frame->DevicePaths()[0]);
    EXPECT_EQ(Box(), "Product 01");
}

// After "Disconnect" the Log says when the device is back, in which mode and with which firmware.
TEST_F(Discovery, DisconnectSaysTheDeviceIsBackWithItsFirmware)
{
    Plug("bcd=0x004C,app_bcd=0x004D");
    frame->OnDeviceChange();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame->CustomPage()->Engine() && !frame->CustomPage()->Engine()->IsRunning(); }, 5000));
    for (QToolButton* button : frame->findChildren<QToolButton*>()) {
        if (button->text() == "Disconnect")
            button->click();
    }
    const bool told = QTest::qWaitFor(
        [&] {
            frame->OnDeviceChange(); // the arrival, as the event thread would report it
            return frame->LogText(false).contains("Product 01 is back in application mode, firmware 1.3");
        },
        5000);
    EXPECT_TRUE(told) << frame->LogText(false).toStdString();
}

TEST_F(Discovery, UpdateModeIsListedAndChosenBeforeApplicationMode)
{
    Plug("mode=app,bcd=0x0300");
    Plug("mode=dfu,bcd=0x004C");
    frame->OnDeviceChange();
    ASSERT_EQ(frame->DevicePaths().size(), 2);
    EXPECT_TRUE(frame->DevicePaths()[0].endsWith(kDfuGuid));
    EXPECT_TRUE(Sent().endsWith(kDfuGuid));
    EXPECT_EQ(Box(), "Product 01");
}

TEST_F(Discovery, ArrivalsReachTheFrameThroughTheEventThread)
{
    CDeviceEvents events(*transport);
    QObject::connect(&events, &CDeviceEvents::DeviceChanged, frame.get(), &CMainFrame::OnDeviceChange);
    QSignalSpy spy(&events, &CDeviceEvents::DeviceChanged);
    Plug("mode=other"); // a mouse: not listed, but still a full pass
    EXPECT_TRUE(spy.wait(5000));
    EXPECT_EQ(Sent(), "");
    Plug("bcd=0x004C");
    EXPECT_TRUE(QTest::qWaitFor([&] { return Box() == "Product 01"; }, 5000));
}

TEST_F(Discovery, DisconnectLabelSendsTheNotification)
{
    // Without a customize page nothing handles it; it must simply not disturb the view.
    auto* label = frame->StandardToolBar()->findChildren<CToolbarLabel*>().back();
    EXPECT_EQ(label->text(), "Disconnect");
    label->click();
    EXPECT_EQ(Sent(), "");
    frame->ResetToolbarItems();
    EXPECT_EQ(frame->StandardToolBar()->findChildren<CToolbarLabel*>().size(), 2u);
}

TEST(InfoPage, ShowsCatalogueTextsAndPresets)
{
    CPageInfo page(nullptr, {});
    page.OnInitDialog();
    EXPECT_EQ(page.ProductNameLabel()->text(), "Unknow product name");
    page.DeviceIdentity().SetIds(0x0483, 0xDF11, 11 << 6);
    page.UpdateDeviceInfo();
    EXPECT_EQ(page.ProductNameLabel()->text(), "");
    EXPECT_EQ(page.ModelLabel()->text(), "Product 11");
    page.DeviceIdentity().SetIds(0x0483, 0xDF11, 0x0A00);
    page.UpdateDeviceInfo();
    EXPECT_EQ(page.ProductNameLabel()->text(), "Unknow product name");
    EXPECT_EQ(page.ModelLabel()->text(), "Unknow model");
}

TEST(InfoPage, InstallersFollowTheChoiceTableAndFailuresShowTheNumberInHex)
{
    QStringList started;
    CPageInfo::Platform platform;
    platform.startProgram = [&](const QString& path) {
        started << path;
        return path.contains("Win8") ? 31 : 42;
    };
    platform.systemMajor = 6;
    platform.systemMinor = 1;
    platform.bSystem64Bit = true;
    CPageInfo page(nullptr, platform);
    page.OnInstallDriver();
    EXPECT_EQ(started, QStringList{QCoreApplication::applicationDirPath() + "/Driver/Win7/x64/dpinst_amd64.exe"});

    QString message;
    OnNextModal([&](QWidget* modal) {
        message = qobject_cast<CMessageBoxDialog*>(modal)->Text();
        ClickButton(modal, "&Ok");
    });
    page.Button(nemora::device::kInstallWin8x86)->click();
    EXPECT_EQ(message, QString::fromUtf8("安装失败，错误码：0x1F"));
}

// The console's own installer run for real: the udev script in a Driver/ folder beside the program, and
// on PATH only the tools it needs, an `id` that says "not root" and, but for one case, a pkexec that
// answers without running it.
struct InstallerCase {
    const char* pkexec; // the body of the stand-in, or nullptr for none
    QStringList parts;  // of the text under the "Driver Install" box
};

class InstallerOutcomes : public SimFrameFixture, public testing::WithParamInterface<InstallerCase> {
protected:
    QTemporaryDir work;
    QByteArray savedPath = qgetenv("PATH");
    QString savedFolder = QDir::currentPath();

    QTemporaryDir bin; // the program's own folder
    const QDir program{bin.path()};

    void SetUp() override
    {
        programFolder = bin.path();
        SimFrameFixture::SetUp();
        const QDir root(work.path());
        const QString source = QStringLiteral(NEMORA_SOURCE_DIR "/packaging/udev/");
        for (auto button : {nemora::device::kInstallWin7x86, nemora::device::kInstallWin7x64,
                            nemora::device::kInstallWin8x86, nemora::device::kInstallWin8x64}) {
            const QString installer = program.filePath(QString::fromStdString(nemora::device::InstallerPath(button)));
            ASSERT_TRUE(program.mkpath(QFileInfo(installer).path()));
            QFile::remove(installer);
            ASSERT_TRUE(QFile::copy(source + "install-udev-rule", installer));
            // One planted in the working folder must never run.
            const QString planted = root.filePath(QString::fromStdString(nemora::device::InstallerPath(button)));
            ASSERT_TRUE(root.mkpath(QFileInfo(planted).path()));
            Script(planted, "touch planted-ran");
        }
        // The copy the buttons' copies stand for, as in the installed programs folder.
        QFile::remove(program.filePath("install-udev-rule"));
        ASSERT_TRUE(QFile::copy(source + "install-udev-rule", program.filePath("install-udev-rule")));
        // Not byte for byte the rule udev may have already, which the script would not install again.
        QFile rules(source + "70-nemora.rules");
        QFile::remove(program.filePath("Driver/70-nemora.rules"));
        QFile copy(program.filePath("Driver/70-nemora.rules"));
        ASSERT_TRUE(rules.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly));
        copy.write(rules.readAll() + "# a test's copy\n");
        copy.close();
        ASSERT_TRUE(root.mkpath("bin"));
        for (const char* tool : {"dirname", "basename", "cmp"}) {
            const QString found = QStandardPaths::findExecutable(tool);
            ASSERT_FALSE(found.isEmpty()) << tool;
            ASSERT_TRUE(QFile::link(found, root.filePath(QString("bin/") + tool)));
        }
        // Never root, whoever runs the tests: the script then never writes to /etc itself.
        Script(QDir(work.path()).filePath("bin/id"), "echo 1000");
        if (GetParam().pkexec)
            Script(QDir(work.path()).filePath("bin/pkexec"), GetParam().pkexec);
        qputenv("PATH", root.filePath("bin").toLocal8Bit());
        QDir::setCurrent(root.path());
    }
    static void Script(const QString& path, const char* body)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("#!/bin/sh\n") + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void TearDown() override
    {
        EXPECT_FALSE(QFile::exists("planted-ran")) << "an installer of the working folder ran";
        QDir::setCurrent(savedFolder);
        qputenv("PATH", savedPath);
    }
};

TEST_P(InstallerOutcomes, ShowUnderTheDriverBoxAndInTheLog)
{
    CPageInfo* page = frame->InfoPage();
    page->OnInstallDriver();
    EXPECT_EQ(page->InstallStatusLabel()->text(),
              "The driver installer is running: waiting for the administrator's password.");
    page->Button(1020)->click(); // while it runs, a second one does not start
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsInstallerRunning(); }, 20000));

    const QString text = page->InstallStatusLabel()->text();
    for (QString part : GetParam().parts) {
        part.replace("WORK", program.path());
        EXPECT_TRUE(text.contains(part)) << text.toStdString() << "\nlacks " << part.toStdString();
    }
    const QString log = frame->LogText(false);
    EXPECT_EQ(log.count("Driver installer started: " + program.path() + "/Driver/"), 1) << log.toStdString();
    EXPECT_TRUE(log.contains("Driver installer: " + QString(text).replace('\n', ' '))) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Page, InstallerOutcomes,
    testing::Values(
        InstallerCase{"echo \"Nemora's udev rule is installed; unplug and replug the device.\"",
                      {"The driver is installed: unplug the device and plug it in again."}},
        InstallerCase{"echo \"Nemora's udev rule is already installed (/etc/udev/rules.d/70-nemora.rules).\"",
                      {"The driver is already installed: unplug the device and plug it in again."}},
        InstallerCase{"exit 126", {"The driver was not installed: the administrator's password was not given."}},
        InstallerCase{nullptr, {"pkexec is missing", "\nsudo WORK/install-udev-rule"}},
        InstallerCase{
            "echo 'install: cannot create /etc/udev/rules.d/70-nemora.rules: Read-only file system' >&2\nexit 1",
            {"The driver installer failed with exit status 1: install: cannot create "
             "/etc/udev/rules.d/70-nemora.rules: Read-only file system"}}));

// A console that quits while the installer waits for the password takes the installer with it.
class InstallerAtQuit : public InstallerOutcomes {};

TEST_P(InstallerAtQuit, IsStoppedWithTheConsole)
{
    frame->InfoPage()->OnInstallDriver();
    ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists("pkexec.pid"); }, 10000));
    QFile file("pkexec.pid");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); }); // as the last window closing ends the loop
    qApp->exec();
    EXPECT_NE(::kill(pid, 0), 0) << "the installer outlived the console";
}

INSTANTIATE_TEST_SUITE_P(Page, InstallerAtQuit,
                         testing::Values(InstallerCase{"echo $$ > pkexec.pid\nexec /bin/sleep 30", {}}));

} // namespace

namespace {

// The "Log" pane lists arrivals and removals with model, mode and serial, and saves what it holds.
TEST_F(Discovery, TheLogListsArrivalsAndRemovalsAndIsSaved)
{
    const unsigned a = Plug("bcd=0x004C,serial=SN-A");
    frame->OnDeviceChange();
    transport->Unplug(a);
    frame->OnDeviceChange();
    const QStringList lines = frame->LogText(false).split('\n', Qt::SkipEmptyParts);
    auto find = [&](const QString& text) {
        const auto it = std::find_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(text); });
        return it == lines.end() ? QString() : *it;
    };
    const QString arrived = find("Device arrived: Product 01 in update mode, serial SN-A (USB:");
    EXPECT_FALSE(arrived.isEmpty()) << frame->LogText(false).toStdString();
    EXPECT_EQ(arrived.mid(2, 1), ":") << "a time first";
    EXPECT_FALSE(find("Device removed: Product 01 in update mode").isEmpty()) << frame->LogText(false).toStdString();
    // The customize page's silent read shows as an operation with its outcome.
    EXPECT_FALSE(find("Reading from Product 01 started").isEmpty());

    QTemporaryDir folder;
    const QString path = folder.filePath("nemora.log");
    ASSERT_TRUE(frame->SaveLogTo(path));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), frame->LogText(false));
    OnNextModal([](QWidget* modal) { ClickButton(modal, "&Ok"); });
    EXPECT_FALSE(frame->SaveLogTo(folder.filePath("missing/nemora.log"))) << "a failure is reported";
}

} // namespace
