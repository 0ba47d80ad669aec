#include "dfu/dfu_update.h"

#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_operations.h"
#include "fake_dfuse_library.h"
#include "qt_test_util.h"
#include "recording_view.h"

#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;
using Step = FakeDfuseLibrary::Step;

const QString kDfuPath = "USB:3-1.4:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}";
const QString kAppPath = "USB:3-1.4:VID_0483&PID_DF11#{CB979912-5029-420A-AEB1-34FC0A7D5726}";

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

class DfuEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_handlesAtStart = lib.OpenHandleCount();
        engine = new CDfuUpdate(&page, lib, &view);
        engine->SetClock([this] { return now; });
        // The scripted library has no flash to compare with: these cases follow the erase, download and
        // verify of a whole write; the compare is proven on the virtual device.
        engine->SetSmartWrites(false);
    }

    QString Path(const char* name) const { return dir.filePath(name); }

    // A firmware file for this device (bcdDevice 0x004C unless told) with an image for each alternate given.
    QString Firmware(const char* name, std::vector<Image> images, std::uint16_t bcd = 0x0041)
    {
        DfuFile file;
        file.vid = 0x0483;
        file.pid = 0xDF11;
        file.bcdDevice = bcd;
        file.images = std::move(images);
        const QString path = Path(name);
        EXPECT_FALSE(WriteDfuFile(path.toStdString(), file));
        return path;
    }
    Image FlashImage(std::size_t size = 2048) { return Image{0, "Internal Flash  ", {{0x08000000, Pattern(size, 1)}}}; }
    Image OptionImage() { return Image{1, kOptionBytesTargetName, {{0x1FFFF800, Pattern(16, 0x40)}}}; }

    void SelectRows(std::initializer_list<int> rows)
    {
        engine->TargetList()->clearSelection();
        for (int row : rows) {
            engine->TargetList()->topLevelItem(row)->setSelected(true);
        }
    }
    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (int i = 0; i < engine->TargetList()->topLevelItemCount(); ++i) {
            if (engine->TargetList()->topLevelItem(i)->isSelected()) {
                rows.push_back(i);
            }
        }
        return rows;
    }
    // Polls until the chain ends (a tick that finds nothing running).
    void Finish()
    {
        for (int i = 0; i < 200 && engine->IsRunning(); ++i) {
            engine->OnTimer();
        }
        engine->OnTimer();
        ASSERT_FALSE(engine->IsRunning());
        EXPECT_FALSE(engine->IsTimerRunning());
    }
    QString Bar() const { return engine->ProgressBar()->GetWindowText(); }
    // Writes a picture of the window to NEMORA_SCREENSHOT_DIR when it is set.
    static void Save(const QImage& picture, const char* name)
    {
        const QByteArray folder = qgetenv("NEMORA_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            picture.save(QDir(QString::fromLocal8Bit(folder)).filePath(name));
        }
    }
    QString Name() const { return engine->DeviceName(); }
    void ExpectNoLeaks()
    {
        EXPECT_EQ(lib.RunningCount(), 0);
        EXPECT_EQ(lib.OpenHandleCount(), m_handlesAtStart) << "image or file handles left open";
    }
    static void AnswerNextBox(const QString& button = "&Ok")
    {
        OnNextModal([button](QWidget* box) { ClickButton(box, button); });
    }

    QTemporaryDir dir;
    FakeDfuseLibrary lib;
    RecordingView view;
    QWidget page;
    CDfuUpdate* engine = nullptr; // owned by the page
    std::int64_t now = 1'700'000'000;
    std::size_t m_handlesAtStart = 0;
};

// --- Opening -------------------------------------------------------------------------------------------

TEST_F(DfuEngine, OpenReadsTheDeviceBuildsTheRowsAndNamesTheModel)
{
    EXPECT_EQ(engine->windowTitle(), "Updating");
    EXPECT_EQ(engine->SizeLabel()->text(), "0 KB(0 Bytes) of 0 KB(0 Bytes)");
    EXPECT_EQ(engine->ElapsedLabel()->text(), "00:00:00");
    EXPECT_FALSE(engine->ProgressBar()->GetShowText());
    EXPECT_EQ(engine->DeviceName(), "Unknow Device");

    engine->show();
    engine->OpenDevice(kDfuPath, Path("fw.vek"));
    EXPECT_EQ(lib.calls.front(), "Open " + kDfuPath.toStdString());
    EXPECT_EQ(lib.calls.back(), "Close");
    EXPECT_FALSE(engine->TargetList()->isVisible());

    QTreeWidget* list = engine->TargetList();
    EXPECT_EQ(list->headerItem()->text(2), "Available Sectors (Double Click for more)");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "00");
    EXPECT_EQ(list->topLevelItem(0)->text(1), "Internal Flash  ");
    EXPECT_EQ(list->topLevelItem(0)->text(2), "64 sectors...");
    EXPECT_TRUE(list->topLevelItem(0)->text(3).startsWith("Sector 000\t0x08000000\t0x080003FF\t1 Kb\tRWE\n"
                                                          "Sector 001\t0x08000400\t0x080007FF\t1 Kb\tRWE\n"));
    EXPECT_TRUE(list->topLevelItem(0)->text(3).endsWith("Sector 063\t0x0800FC00\t0x0800FFFF\t1 Kb\tRWE"));
    EXPECT_EQ(list->topLevelItem(1)->text(0), "01");
    EXPECT_EQ(list->topLevelItem(1)->text(3), "Sector 000\t0x1FFFF800\t0x1FFFF80F\t16 b\tRW");
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});

    CDeviceIdentity expected;
    expected.SetIds(0x0483, 0xDF11, 0x004C);
    std::string name = "Unknow Device";
    expected.GetModelName(name);
    EXPECT_EQ(engine->DeviceName().toStdString(), name);
    EXPECT_EQ(engine->DeviceIdentity().m_wBcdDevice, 0x004C);
    EXPECT_EQ(engine->DeviceIdentity().m_wModelId, 1);
    EXPECT_EQ(engine->UpgradeFile(), Path("fw.vek"));
    EXPECT_EQ(engine->UploadFile(), Path("fw.vek"));
    // The bar is ready in teal with a blank text.
    EXPECT_EQ(Bar(), " ");
    EXPECT_EQ(engine->ProgressBar()->GetTextColour(), QColor(0, 128, 128));

    // The path's GUID may come in lower case.
    engine->OpenDevice(kDfuPath.toLower(), "");
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 2);
}

TEST_F(DfuEngine, EachDescriptorFailureHasItsTextAndLeavesNoTargets)
{
    struct Case {
        std::uint32_t FakeDfuseLibrary::*code;
        const char* text;
    };
    const Case cases[] = {
        {&FakeDfuseLibrary::deviceDescriptorCode, "Unable to get descriptors... Bad Firmware"},
        {&FakeDfuseLibrary::dfuDescriptorCode, "Unable to get DFU descriptor... Bad Firmware"},
        {&FakeDfuseLibrary::mappingCode, "Unable to find or decode device mapping... Bad Firmware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        engine->OpenDevice(kDfuPath, "");
        ASSERT_EQ(engine->TargetList()->topLevelItemCount(), 2);
        lib.*(c.code) = 0x12340005;
        lib.calls.clear();
        engine->OpenDevice(kDfuPath, "");
        lib.*(c.code) = STDFU_NOERROR;
        EXPECT_EQ(Bar(), c.text);
        EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(255, 0, 0));
        EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 0);
        EXPECT_EQ(lib.calls.back(), "Close");
        EXPECT_EQ(engine->DeviceName(), "Unknow Device");
        engine->StartUpgrade();
        EXPECT_EQ(Bar(), "Please select one or several targets before !");
        EXPECT_TRUE(lib.launches.empty());
    }

    // A device that cannot be opened: no words, no rows, the identity of the last good open stays.
    engine->OpenDevice(kDfuPath, "");
    engine->ProgressBar()->SetWindowText("before");
    lib.openOk = false;
    lib.calls.clear();
    engine->OpenDevice(kDfuPath, "");
    EXPECT_EQ(lib.calls, (std::vector<std::string>{"DestroyMapping", "Open " + kDfuPath.toStdString()}));
    EXPECT_EQ(Bar(), "before");
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 0);
    EXPECT_EQ(engine->DeviceIdentity().m_wBcdDevice, 0x004C);
}

TEST_F(DfuEngine, DfuVersionWindow)
{
    for (std::uint16_t version : {std::uint16_t{0x011A}, std::uint16_t{0x011F}}) {
        lib.dfuVersion = version;
        engine->OpenDevice(kDfuPath, "");
        EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 2) << std::hex << version;
    }
    for (std::uint16_t version : {std::uint16_t{0x0119}, std::uint16_t{0x0120}}) {
        lib.dfuVersion = version;
        engine->OpenDevice(kDfuPath, "");
        EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 0) << std::hex << version;
        EXPECT_EQ(Bar(), "Bad Updating protocol version. Should be 1.1A");
    }
    lib.dfuVersion = 0;
    engine->ProgressBar()->SetWindowText("before");
    engine->OpenDevice(kDfuPath, "");
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 0);
    EXPECT_EQ(Bar(), "before");
    EXPECT_EQ(lib.calls.back(), "Close");
}

TEST_F(DfuEngine, ApplicationModePathIsReachableWithoutTargets)
{
    engine->OpenDevice(kAppPath, "");
    EXPECT_EQ(std::count(lib.calls.begin(), lib.calls.end(), "CreateMapping"), 0);
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 0);
    EXPECT_EQ(engine->DeviceIdentity().m_wModelId, 1);
    EXPECT_NE(engine->DeviceName(), "Unknow Device");
    // An operation on it names the mode, not a missing choice of targets.
    engine->StartUpgrade();
    EXPECT_EQ(Bar(), engine->DeviceName() + " is running its firmware, not in update mode");
    EXPECT_TRUE(lib.launches.empty());
}

TEST_F(DfuEngine, ReopeningKeepsTheRowSelectionByIndex)
{
    engine->OpenDevice(kDfuPath, "");
    SelectRows({0, 1});
    engine->OpenDevice(kDfuPath, "");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 1}));

    SelectRows({1});
    lib.mapping.resize(1); // the next device has one target: the remembered row is beyond it
    engine->OpenDevice(kDfuPath, "");
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(engine->SelectedTargets(), (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(DfuEngine, OptionByteProbeForOpenAndProtectedParts)
{
    auto probe = [&] {
        lib.calls.clear();
        engine->OpenDevice(kDfuPath, "");
        const auto start = std::find(lib.calls.begin(), lib.calls.end(), "CreateMapping");
        return std::vector<std::string>(start + 1, lib.calls.end());
    };
    EXPECT_EQ(probe(), (std::vector<std::string>{"Select 0 0 1", "Getstatus", "Dnload 21 00 00 00 08 #0", "Getstatus",
                                                 "Upload 16 #2", "Getstatus", "Select 0 0 1", "Getstatus",
                                                 "Dnload 21 00 F8 FF 1F #0", "Getstatus", "Upload 16 #2", "Close"}));

    lib.readProtected = true;
    EXPECT_EQ(probe(), (std::vector<std::string>{"Select 0 0 1", "Getstatus", "Dnload 21 00 00 00 08 #0", "Getstatus",
                                                 "Upload 16 #2", "Getstatus", "Clrstatus", "Getstatus", "Close"}));
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 2);
    lib.readProtected = false;

    // Family 3 reads 32 bytes from its own address.
    lib.mapping[1].sectors[0].dwStartAddress = 0x1FF80000;
    const auto family3 = probe();
    EXPECT_EQ(family3[8], "Dnload 21 00 00 F8 1F #0");
    EXPECT_EQ(family3[10], "Upload 32 #2");

    // No family: only the protection test.
    lib.mapping[1].sectors[0].dwStartAddress = 0x20000000;
    EXPECT_EQ(probe().size(), 7u);

    // A device that never gets back to idle cannot hang the window.
    lib.neverIdle = true;
    const auto stuck = probe();
    EXPECT_EQ(stuck.back(), "Close");
    EXPECT_LT(stuck.size(), 60u);
    EXPECT_EQ(engine->TargetList()->topLevelItemCount(), 2);
    lib.neverIdle = false;

    // No option-byte target: no probe.
    lib.mapping.resize(1);
    EXPECT_EQ(probe(), std::vector<std::string>{"Close"});
}

// --- Upgrade and verify --------------------------------------------------------------------------------

TEST_F(DfuEngine, TwoTargetUpgradeRunsOnTheTimerAndEndsOnce)
{
    lib.mapping[1].sectors[0].bSectorType = kSectorReadable | kSectorErasable | kSectorWritable;
    const QString file = Firmware("fw.vek", {FlashImage(), OptionImage()});
    engine->show();
    engine->OpenDevice(kDfuPath, file);
    EXPECT_EQ(engine->TargetList()->topLevelItem(1)->text(3), "Sector 000\t0x1FFFF800\t0x1FFFF80F\t16 b\tRW");
    SelectRows({0, 1});
    engine->StartUpgrade();
    EXPECT_TRUE(engine->UploadFile().isEmpty());
    EXPECT_TRUE(engine->IsTimerRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.Count(NOTIFY_ENGINE_DONE) > 0; }, 20000));
    QTest::qWait(400);

    EXPECT_EQ(lib.LaunchedOperations(),
              (std::vector<std::string>{"erase", "download", "erase", "download", "upload", "upload"}));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    EXPECT_EQ(view.notes.back().from, &page);
    EXPECT_EQ(view.Count(NOTIFY_UPLOAD_DONE), 0);
    EXPECT_FALSE(engine->IsTimerRunning());
    for (const auto& launched : lib.launches) {
        EXPECT_EQ(launched.path, kDfuPath.toStdString());
        EXPECT_FALSE(launched.skipBlank);
    }
    // The erase covers the two pages the data touches; the download carries the data.
    ASSERT_EQ(lib.launches[0].elements.size(), 2u);
    EXPECT_EQ(lib.launches[0].elements[1].address, 0x08000400u);
    EXPECT_EQ(lib.launches[1].elements[0].data, Pattern(2048, 1));
    EXPECT_EQ(lib.Read(0x1FFFF800), 0x40);
    EXPECT_EQ(Bar(), Name() + " 01: Verify successful !");
    EXPECT_EQ(engine->CurrentTarget(), -1);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, ProgressTextsColoursSizeAndElapsedTime)
{
    const QString file = Firmware("fw.vek", {FlashImage(10240)});
    engine->OpenDevice(kDfuPath, file);
    engine->StartUpgrade();
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(0, 128, 0));
    EXPECT_EQ(engine->SizeLabel()->text(), "0 KB(0 Bytes) of 10 KB(10240 Bytes)");

    now += 86400 + 3600 + 60 + 1;
    engine->OnTimer(); // erase 50 %
    EXPECT_EQ(Bar(), Name() + " 00: Upgrading - Erase Phase (50%)...");
    EXPECT_EQ(engine->ProgressBar()->GetPos(), 50);
    EXPECT_EQ(engine->ElapsedLabel()->text(), "01:01:01");
    EXPECT_EQ(engine->ElapsedText(), "01:01:01");
    engine->OnTimer(); // erase 100 %: the download starts on the green bar
    EXPECT_EQ(lib.LaunchedOperations().back(), "download");
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(0, 128, 0));
    engine->OnTimer(); // download 50 %
    EXPECT_EQ(Bar(), Name() + " 00: Upgrading - Download Phase (50%)...");
    EXPECT_EQ(engine->SizeLabel()->text(), "5 KB(5120 Bytes) of 10 KB(10240 Bytes)");
    engine->OnTimer(); // download 100 %: verify in teal, start time kept
    EXPECT_EQ(lib.LaunchedOperations().back(), "upload");
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(0, 128, 128));
    engine->OnTimer();
    EXPECT_EQ(Bar(), Name() + " 00: Uploading 50%...");
    EXPECT_EQ(engine->ElapsedText(), "01:01:01");
    Finish();
    EXPECT_EQ(Bar(), Name() + " 00: Verify successful !");
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, FileIdentityIsCheckedBeforeAnythingIsSent)
{
    // Another firmware version of the same model passes.
    engine->OpenDevice(kDfuPath, Firmware("same-model.vek", {FlashImage()}, 0x007F));
    engine->StartUpgrade();
    EXPECT_EQ(lib.LaunchedOperations(), std::vector<std::string>{"erase"});
    Finish();

    // Another model (bit 7 set) is refused with the device's model in the message.
    lib.launches.clear();
    lib.calls.clear();
    engine->OpenDevice(kDfuPath, Firmware("other-model.vek", {FlashImage()}, 0x008C));
    engine->StartUpgrade();
    EXPECT_TRUE(lib.launches.empty());
    EXPECT_EQ(Bar(), "This file is not supposed to be used with device,ID:0x0040!!");
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(255, 0, 0));
    EXPECT_EQ(engine->CurrentTarget(), -1);
    Finish();
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1); // only the first upgrade's

    // No file, or no image for the target.
    engine->OpenDevice(kDfuPath, Path("missing.vek"));
    engine->StartUpgrade();
    EXPECT_EQ(Bar(), Name() + " 00: Unable to find data for that device from the file ");
    engine->OpenDevice(kDfuPath, Firmware("options-only.vek", {OptionImage()}));
    engine->StartUpgrade();
    EXPECT_EQ(Bar(), Name() + " 00: Unable to find data for that device from the file ");
    EXPECT_TRUE(lib.launches.empty());
    Finish();
    ExpectNoLeaks();
}

TEST_F(DfuEngine, VerifyReportsTheFirstDifference)
{
    lib.afterWork = [&](const FakeDfuseLibrary::Launched& launched) {
        if (launched.operation == OPERATION_UPGRADE) {
            lib.Write(0x08000013, {0x00, 0x01}); // the flash changes between download and verify
        }
    };
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    engine->StartUpgrade();
    AnswerNextBox();
    Finish();
    const std::uint8_t fileByte = Pattern(2048, 1)[0x13];
    EXPECT_EQ(engine->LastMessage(), QString::asprintf("Matching not good. First Difference at address 0x08000013:\n"
                                                       "File  byte  is  0x%02X.\nRead byte is 0x00.",
                                                       fileByte));
    EXPECT_EQ(Bar(), Name() + " 00: Verify successful, but data not matching...");
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(255, 0, 0));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    ExpectNoLeaks();
}

// --- Failures -----------------------------------------------------------------------------------------

TEST_F(DfuEngine, LibraryFailureIsDecodedAndTheEngineStaysUsable)
{
    const QString file = Firmware("fw.vek", {FlashImage()});
    engine->OpenDevice(kDfuPath, file);
    lib.scripts = {{Step{100}}, {Step{30}, Step{30, STDFUPRT_DFUERROR, 10, 6, 0x0D000000}}};
    engine->StartUpgrade();
    AnswerNextBox();
    Finish();
    EXPECT_EQ(engine->LastMessage(), Name() + " 00\n"
                                              "Error Code: DFU error\n"
                                              "Operation: UPGRADE\n"
                                              "TransferSize: 2048\n"
                                              "Updating State: STATE_DFU_ERROR\n"
                                              "Updating Status: STATUS_errPROG\n"
                                              "Request: Download Request. \n"
                                              "CurrentNBlock: 0x0005\n"
                                              "CurrentLength: 0x0800\n"
                                              "Percent: 30%\n");
    EXPECT_EQ(Bar(), Name() + " 00: Error Code: DFU error\n");
    EXPECT_EQ(engine->ProgressBar()->GetBarColour(), QColor(255, 0, 0));
    EXPECT_EQ(engine->CurrentTarget(), -1);
    EXPECT_EQ(lib.LaunchedOperations(), (std::vector<std::string>{"erase", "download"}));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 0);
    ExpectNoLeaks();

    // The next operation runs normally.
    engine->OpenDevice(kDfuPath, file);
    engine->StartUpgrade();
    Finish();
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, AFailingStatusCallEndsTheOperationInsteadOfPollingForever)
{
    const QString file = Firmware("fw.vek", {FlashImage()});
    engine->OpenDevice(kDfuPath, file);
    lib.scripts = {{Step{30}}};
    lib.statusCallCode = STDFUPRT_UNEXPECTEDERROR;
    engine->StartUpgrade();
    AnswerNextBox();
    Finish();
    EXPECT_TRUE(engine->LastMessage().contains("Error Code: Unexpected error\n"));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 0);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, NothingElseStartsWhileAnOperationRuns)
{
    const QString file = Firmware("fw.vek", {FlashImage()});
    engine->OpenDevice(kDfuPath, file);
    lib.scripts = {{Step{30}, Step{60}, Step{100}}};
    engine->StartUpgrade();
    ASSERT_TRUE(engine->IsRunning());
    const std::size_t deviceCalls = lib.calls.size();
    engine->OpenDevice(kDfuPath, file); // a device event offered a second download
    engine->StartUpgrade();
    engine->LeaveDfuMode();
    EXPECT_EQ(lib.calls.size(), deviceCalls);
    EXPECT_EQ(lib.LaunchedOperations(), (std::vector<std::string>{"erase"}));
    Finish();
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, FailureBoxOnTheRealTimerStopsThePoll)
{
    // Ticks keep coming while the report's box is open; they find nothing running and stop the timer.
    engine->show();
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    lib.scripts = {{Step{100}}, {Step{30, STDFUPRT_RETRYERROR, 10, 15, 0x0E000000}}};
    OnNextModal([](QWidget* box) { QTimer::singleShot(700, box, [box] { ClickButton(box, "&Ok"); }); });
    engine->StartUpgrade();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->IsRunning() && !engine->IsTimerRunning(); }, 10000));
    QTest::qWait(100);
    EXPECT_TRUE(engine->LastMessage().contains("Error Code: Retry error\n"));
    EXPECT_EQ(lib.LaunchedOperations(), (std::vector<std::string>{"erase", "download"}));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 0);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, UnknownValuesAreShownInHexadecimal)
{
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    lib.scripts = {{Step{12, 0x12349999, 0x20, 0x30, 0x01000000}}};
    engine->StartUpgrade(); // the erase fails at once: no operation line
    AnswerNextBox();
    Finish();
    const QString message = engine->LastMessage();
    EXPECT_TRUE(message.contains("Error Code: Unknown error 0x12349999. \n"));
    EXPECT_TRUE(message.contains("Updating State: (Unknown 0x20)\n"));
    EXPECT_TRUE(message.contains("Updating Status: (Unknown 0x30)\n"));
    EXPECT_TRUE(message.contains("Request: (unknown 0x01000000). \n"));
    EXPECT_FALSE(message.contains("Operation:"));
    ExpectNoLeaks();
}

TEST_F(DfuEngine, UnsupportedFeatureAndLaunchFailure)
{
    engine->OpenDevice(kDfuPath, "");
    lib.scripts = {{Step{0, STDFUPRT_UNSUPPORTEDFEATURE}}};
    engine->LeaveDfuMode();
    AnswerNextBox();
    Finish();
    EXPECT_EQ(engine->LastMessage(), "This feature is not supported by this firmware.");
    EXPECT_NE(engine->ProgressBar()->GetBarColour(), QColor(255, 0, 0));

    // A launch the library refuses: reported at once, no timer.
    engine->OpenDevice(kDfuPath, "");
    lib.launchCodes = {STDFUPRT_DFUALREADYRUNNING};
    AnswerNextBox();
    engine->LeaveDfuMode();
    EXPECT_TRUE(engine->LastMessage().contains("Error Code: DFU already running\nOperation: RETURN\n"));
    EXPECT_EQ(Bar(), Name() + " 00: Error Code: DFU already running\n");
    EXPECT_FALSE(engine->IsTimerRunning());
    ExpectNoLeaks();
}

TEST_F(DfuEngine, UnplugMidDownloadStopsTheChain)
{
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    lib.scripts = {{Step{100}}, {Step{40}, Step{40, STDFUPRT_UNEXPECTEDERROR, 0, 0, 0x14000000}}};
    engine->StartUpgrade();
    AnswerNextBox();
    Finish();
    EXPECT_TRUE(engine->LastMessage().contains("Request: Awaiting UNPLUG EVENT. \n"));
    EXPECT_EQ(lib.LaunchedOperations(), (std::vector<std::string>{"erase", "download"}));
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 0);
    EXPECT_EQ(lib.Read(0x08000000), 0xFF); // the download never finished its work
    ExpectNoLeaks();
}

// --- Upload -------------------------------------------------------------------------------------------

class DfuUpload : public DfuEngine {
protected:
    DfuImageHandle CallerImage(std::vector<std::pair<std::uint32_t, std::uint32_t>> areas)
    {
        DfuImageHandle image = nullptr;
        EXPECT_EQ(lib.STDFUFILES_CreateImage(&image, 0), STDFUFILES_NOERROR);
        std::uint32_t index = 0;
        for (auto [address, length] : areas) {
            std::vector<std::uint8_t> zeros(length);
            lib.STDFUFILES_SetImageElement(image, index++, true, DfuElement{address, length, zeros.data()});
        }
        return image;
    }
};

TEST_F(DfuUpload, TwoElementsAreHandedBackWithTheLengthRule)
{
    lib.Write(0x08000000, Pattern(4096, 3));
    lib.Write(0x08002000, Pattern(100, 9));
    const QString out = Path("user_para.vek");
    engine->OpenDevice(kDfuPath, out);
    std::vector<std::uint8_t> storage(4096, 0xEE);
    DfuElement buffer{0, 4096, storage.data()};
    view.watched = &buffer;
    ASSERT_TRUE(engine->StartUpload(CallerImage({{0x08000000, 2048}, {0x08002000, 100}}), &buffer));
    EXPECT_TRUE(engine->UpgradeFile().isEmpty());
    EXPECT_EQ(engine->SizeText(), "0 KB(0 Bytes) of 2 KB(2148 Bytes)");
    Finish();

    ASSERT_EQ(view.Count(NOTIFY_UPLOAD_DONE), 2);
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 0);
    EXPECT_EQ(view.notes[0].from, engine);
    EXPECT_EQ(view.notes[0].buffer.dwAddress, 0x08000000u);
    EXPECT_EQ(view.notes[0].buffer.dwDataLength, 2048u);
    const auto flash = Pattern(4096, 3);
    EXPECT_EQ(view.notes[0].bytes, std::vector<std::uint8_t>(flash.begin(), flash.begin() + 2048));
    // The length is capacity and result: the second element arrives into the shortened buffer.
    EXPECT_EQ(view.notes[1].buffer.dwAddress, 0x08002000u);
    EXPECT_EQ(view.notes[1].buffer.dwDataLength, 100u);
    EXPECT_EQ(view.notes[1].bytes, Pattern(100, 9));
    EXPECT_EQ(storage[2048], 0xEE) << "nothing written beyond what was handed back";
    EXPECT_EQ(Bar(), Name() + " 00: Upload successful !");

    const auto parsed = ReadDfuFile(out.toStdString());
    ASSERT_TRUE(parsed.file);
    EXPECT_EQ(parsed.file->bcdDevice, 0x004C);
    ASSERT_EQ(parsed.file->images.size(), 1u);
    EXPECT_EQ(parsed.file->images[0].elements[1].data, Pattern(100, 9));
    ExpectNoLeaks();
}

TEST_F(DfuUpload, SmallBufferReceivesItsCapacityOnly)
{
    lib.Write(0x08000000, Pattern(2048, 5));
    engine->OpenDevice(kDfuPath, Path("user_log.vek"));
    std::vector<std::uint8_t> storage(100 + 16, 0xEE); // a guard zone after the 100 bytes
    DfuElement buffer{0, 100, storage.data()};
    ASSERT_TRUE(engine->StartUpload(CallerImage({{0x08000000, 2048}}), &buffer));
    Finish();
    EXPECT_EQ(view.Count(NOTIFY_UPLOAD_DONE), 1);
    EXPECT_EQ(buffer.dwDataLength, 100u);
    const auto flash = Pattern(2048, 5);
    EXPECT_EQ(std::vector<std::uint8_t>(storage.begin(), storage.begin() + 100),
              std::vector<std::uint8_t>(flash.begin(), flash.begin() + 100));
    EXPECT_EQ(storage[100], 0xEE);
    ExpectNoLeaks();
}

TEST_F(DfuUpload, SeveralTargetsShareOneFileAndEachUploadReplacesIt)
{
    lib.Write(0x1FFFF800, Pattern(16, 0x70));
    const QString out = Path("both.vek");
    for (int round = 0; round < 2; ++round) {
        view.notes.clear();
        engine->OpenDevice(kDfuPath, out);
        SelectRows({0, 1});
        std::vector<std::uint8_t> storage(4096);
        DfuElement buffer{0, 4096, storage.data()};
        view.watched = &buffer;
        ASSERT_TRUE(engine->StartUpload(CallerImage({{0x08000000, 1024}}), &buffer));
        Finish();
        view.watched = nullptr;
        ASSERT_EQ(view.Count(NOTIFY_UPLOAD_DONE), 2);
        EXPECT_EQ(view.notes[1].buffer.dwAddress, 0x1FFFF800u);
        EXPECT_EQ(view.notes[1].bytes, Pattern(16, 0x70));
        const auto parsed = ReadDfuFile(out.toStdString());
        ASSERT_TRUE(parsed.file);
        ASSERT_EQ(parsed.file->images.size(), 2u) << "round " << round;
        EXPECT_EQ(parsed.file->images[1].alternate, 1);
    }
    EXPECT_EQ(lib.LaunchedOperations(), (std::vector<std::string>{"upload", "upload", "upload", "upload"}));
    ExpectNoLeaks();
}

TEST_F(DfuUpload, WithoutTargetsTheImageStaysWithTheCaller)
{
    lib.openOk = false;
    engine->OpenDevice(kDfuPath, Path("x.vek"));
    DfuImageHandle image = CallerImage({{0x08000000, 16}});
    DfuElement buffer;
    EXPECT_FALSE(engine->StartUpload(image, &buffer));
    EXPECT_EQ(Bar(), "Please select one or several targets before !");
    EXPECT_EQ(lib.STDFUFILES_DestroyImage(image), STDFUFILES_NOERROR);
    ExpectNoLeaks();
}

// --- Leave, close, dismissal --------------------------------------------------------------------------

TEST_F(DfuEngine, LeaveDfuModeUsesTheFirstSelectedTarget)
{
    engine->OpenDevice(kDfuPath, "");
    engine->LeaveDfuMode();
    ASSERT_EQ(lib.LaunchedOperations(), std::vector<std::string>{"leave"});
    engine->OnTimer();
    EXPECT_EQ(Bar(), Name() + " Leaving Updating mode 50%...");
    Finish();
    EXPECT_EQ(Bar(), Name() + " 00: Successfully left updating mode !");
    EXPECT_TRUE(view.notes.empty());
    ExpectNoLeaks();
}

TEST_F(DfuEngine, DismissalWhileIdleAndWhileRunning)
{
    engine->show();
    engine->OpenDevice(kDfuPath, "");
    engine->reject();
    EXPECT_FALSE(engine->isVisible());
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);
    EXPECT_EQ(view.notes.back().from, &page);

    engine->show();
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    engine->StartUpgrade();
    engine->OnTimer();
    engine->OnTimer(); // now in the download phase
    ASSERT_EQ(lib.LaunchedOperations().back(), "download");
    AnswerNextBox("&Cancel");
    engine->reject();
    EXPECT_EQ(engine->LastMessage(), "Operation on-going. Leave anyway ?");
    EXPECT_TRUE(engine->isVisible());
    EXPECT_TRUE(engine->IsRunning());
    EXPECT_TRUE(engine->IsTimerRunning());
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 1);

    // Leaving a running download stops it and says, in red, what that left on the device; the window
    // stays until the next dismissal.
    AnswerNextBox("&Ok");
    engine->close(); // the close box
    EXPECT_TRUE(engine->isVisible());
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_FALSE(engine->IsTimerRunning());
    EXPECT_EQ(Bar(), "Stopped during the download: the firmware is incomplete");
    EXPECT_EQ(engine->DetailLabel()->text(), "The device is still in update mode: download the file again.");
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 2);
    engine->close();
    EXPECT_FALSE(engine->isVisible());
    EXPECT_EQ(view.Count(NOTIFY_ENGINE_DONE), 3);
    ExpectNoLeaks();
}

TEST_F(DfuEngine, CloseDeviceStopsWithoutNotification)
{
    engine->show();
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage()}));
    engine->StartUpgrade();
    engine->OnTimer();
    engine->OnTimer(); // download phase: the running image is the engine's copy
    engine->CloseDevice();
    EXPECT_FALSE(engine->isVisible());
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_TRUE(view.notes.empty());
    EXPECT_GE(std::count(lib.calls.begin(), lib.calls.end(), "DestroyMapping"), 1);
    ExpectNoLeaks();
    // Rows without a map behind them start nothing.
    engine->StartUpgrade();
    EXPECT_EQ(Bar(), "Please select one or several targets before !");
}

// What the window shows, read off its picture: the bar inside the window is painted in the phase's colour
// while the download runs, and in red once it failed. With NEMORA_SCREENSHOT_DIR set (scripts/screenshots)
// the two pictures are also written there.
TEST_F(DfuEngine, TheWindowPaintsTheBarInThePhaseColour)
{
    engine->show();
    engine->OpenDevice(kDfuPath, Firmware("fw.vek", {FlashImage(10240)}));
    lib.scripts = {{Step{100}}, {Step{37}, Step{37, STDFUPRT_DFUERROR, 10, 6, 0x0D000000}}};
    engine->StartUpgrade();
    now += 75;
    engine->OnTimer();
    engine->OnTimer();
    const CTextProgressCtrl* bar = engine->ProgressBar();
    // A point inside the bar's filled part, in the window's picture.
    const auto filledPoint = [&] {
        return bar->mapTo(engine, QPoint(bar->contentsRect().left() + 1, bar->height() / 2));
    };
    ASSERT_GT(bar->GetPos(), 5);
    const QImage download = engine->grab().toImage();
    EXPECT_EQ(download.pixelColor(filledPoint()), bar->GetBarColour());
    EXPECT_NE(bar->GetBarColour(), QColor(255, 0, 0));
    Save(download, "engine-download.png");

    AnswerNextBox();
    engine->OnTimer();
    const QImage failure = engine->grab().toImage();
    EXPECT_EQ(failure.pixelColor(filledPoint()), QColor(255, 0, 0));
    Save(failure, "engine-failure.png");
}

} // namespace
