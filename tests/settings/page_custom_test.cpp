// The "Customize" tab end to end: the real frame, view, customize page, sub-pages, engine and DfuSe library
// over virtual devices whose flash file starts with known user areas, so that every check reads the
// device's own bytes.

#include "app/harbor_view.h"
#include "cli_runner.h"
#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfu_file.h"
#include "firmware/page_update.h"
#include "modal_answerer.h"
#include "screens/page_custom_display.h"
#include "settings/page_custom.h"
#include "settings/page_custom_para.h"
#include "settings/page_custom_power.h"
#include "settings/page_custom_temp.h"
#include "settings/settings_file.h"
#include "sim_frame_fixture.h"
#include "widgets/message_box_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

namespace mb = nemora::widgets;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::size_t kFlashSize = 64 * 1024;
constexpr std::uint32_t kParamAddress = 0x0800F000;
constexpr std::size_t kParamSize = 2048;

// A record whose every byte is known: uninterpreted bytes follow a pattern, the fields hold values none of
// the editors' defaults have.
SettingsRecord KnownRecord(std::uint16_t wUnit = 1)
{
    SettingsRecord record;
    for (std::size_t i = 0; i < SettingsRecord::kSize; ++i)
        record.Data()[i] = static_cast<std::uint8_t>(i * 7 + 3);
    record.SetWord(SettingsRecord::kTemperatureUnitOffset, wUnit);
    record.SetParameters({111, 222, 333, 444, 555, 666, 77});
    record.SetPowerCurve({100, 150, 200, 250, 300, 350, 400, 450, 500, 550});
    record.SetTemperatureCurve(wUnit ? CurvePoints{200, 240, 280, 320, 360, 400, 440, 480, 520, 560}
                                     : CurvePoints{100, 105, 110, 150, 200, 250, 300, 305, 310, 315});
    return record;
}

// A logo area pattern over the whole flash below the parameter area.
std::uint8_t LogoByte(std::size_t offset)
{
    return static_cast<std::uint8_t>((offset * 13) ^ (offset >> 5));
}

struct Customize : SimFrameFixture {
    CPageCustom* page = nullptr;

    void SetUp() override
    {
        ::setenv("NEMORA_TRANSFER_DIR", (dir.path() + "/transfer").toLocal8Bit().constData(), 1);
        SimFrameFixture::SetUp();
        page = frame->CustomPage();
        ASSERT_NE(page, nullptr);
    }
    void TearDown() override { ::unsetenv("NEMORA_TRANSFER_DIR"); }

    QString Path(const char* name) const { return dir.filePath(name); }

    // Plugs a device whose flash file holds the logo pattern and the record, and waits for the silent read.
    unsigned Connect(const char* bcd, const SettingsRecord& record = KnownRecord(), const char* flash = "flash.bin")
    {
        Bytes bytes(kFlashSize, 0xFF);
        for (std::size_t i = 0; i < kParamAddress - kFlashBase; ++i)
            bytes[i] = LogoByte(i);
        std::copy_n(record.Data(), kParamSize, bytes.begin() + (kParamAddress - kFlashBase));
        std::ofstream(Path(flash).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const unsigned location = Plug((std::string("bcd=") + bcd + ",flash=" + Path(flash).toStdString()).c_str());
        frame->OnDeviceChange();
        EXPECT_TRUE(WaitForEngine());
        return location;
    }
    bool WaitForEngine()
    {
        return QTest::qWaitFor([&] { return page->Engine() && !page->Engine()->IsRunning(); }, 30000);
    }
    Bytes Area(unsigned location, std::uint32_t address, std::size_t size)
    {
        const auto flash = transport->Flash(location);
        if (!flash)
            return {};
        return Bytes(flash->begin() + (address - kFlashBase), flash->begin() + (address - kFlashBase + size));
    }
    SettingsRecord DeviceRecord(unsigned location)
    {
        SettingsRecord record;
        const Bytes bytes = Area(location, kParamAddress, kParamSize);
        record.TakeIn(bytes.data(), bytes.size());
        return record;
    }
    void Click(int nId) { QTest::mouseClick(page->Button(nId), Qt::LeftButton); }
    void WriteOn(int nTab)
    {
        page->SetCurrentTab(nTab);
        Click(CPageCustom::IDC_WRITE_TO_DEVICE);
        ASSERT_TRUE(WaitForEngine());
        ASSERT_TRUE(page->Engine()->ProgressBar()->GetWindowText().endsWith("Verify successful !"))
            << page->Engine()->ProgressBar()->GetWindowText().toStdString();
    }
    // What the three editors show, as a record's fields.
    SettingsRecord Editors()
    {
        SettingsRecord shown;
        CPageCustomPara& para = *page->ParaPage();
        shown.SetParameters({static_cast<std::uint16_t>(para.GetTcrM1()), static_cast<std::uint16_t>(para.GetTcrM2()),
                             static_cast<std::uint16_t>(para.GetNi()), static_cast<std::uint16_t>(para.GetTi()),
                             static_cast<std::uint16_t>(para.GetSs()), static_cast<std::uint16_t>(para.GetTcr()),
                             static_cast<std::uint16_t>(para.GetDisplayLevel())});
        CurvePoints curve{};
        page->PowerPage()->CopyPoints(curve.data(), 20);
        shown.SetPowerCurve(curve);
        page->TempPage()->CopyPoints(curve.data(), 20);
        shown.SetTemperatureCurve(curve);
        return shown;
    }
    static SettingsRecord Fields(const SettingsRecord& record)
    {
        SettingsRecord fields;
        fields.SetParameters(record.Parameters());
        fields.SetPowerCurve(record.PowerCurve());
        fields.SetTemperatureCurve(record.TemperatureCurve());
        return fields;
    }
    Bytes EncodedImages(const CDeviceIdentity& identity)
    {
        Bytes area(LogoDataLength(identity), 0xFF);
        page->DisplayPage()->EncodeLogoArea(area, identity);
        return area;
    }
    void WriteFile(const QString& path, const nemora::dfuse::DfuFile& file)
    {
        ASSERT_FALSE(nemora::dfuse::WriteDfuFile(path.toStdString(), file));
    }
    void ChangeEditors()
    {
        page->ParaPage()->SetNi(5);
        page->ParaPage()->SetDisplayLevel(3);
        const CurvePoints power{60, 60, 60, 60, 60, 60, 60, 60, 60, 60};
        page->PowerPage()->LoadPoints(power.data(), 20);
        const CurvePoints temp{300, 300, 300, 300, 300, 300, 300, 300, 300, 300};
        page->TempPage()->LoadPoints(temp.data(), 20);
    }
};

TEST_F(Customize, SelectingADeviceReadsItsParameterAreaSilentlyIntoTheEditors)
{
    const unsigned location = Connect("0x004C");
    EXPECT_FALSE(page->Engine()->isVisible());
    EXPECT_FALSE(page->IsSilentRead());
    EXPECT_EQ(page->Record(), KnownRecord());
    EXPECT_EQ(Editors(), Fields(KnownRecord()));
    EXPECT_TRUE(page->TempPage()->Limits().bFahrenheit);
    EXPECT_EQ(page->TabControl()->currentIndex(), CPageCustom::kTabDisplay);
    EXPECT_TRUE(QFile::exists(Path("transfer/user_para.vek")));
    // The screens too are the device's, read in the same upload.
    EXPECT_TRUE(page->ScreensKnown());
    EXPECT_EQ(EncodedImages(page->DeviceIdentity()), Area(location, 0x0800D000, 6144));
    EXPECT_FALSE(page->DisplayPage()->UnreadLabel(0)->isVisibleTo(page->DisplayPage()));

    // An edit not yet written survives another device's arrival, which sends the path again.
    page->ParaPage()->SetNi(123);
    const QString path = page->DevicePath();
    const unsigned other = Plug("bcd=0x004C");
    frame->OnDeviceChange();
    ASSERT_TRUE(WaitForEngine());
    EXPECT_EQ(page->DevicePath(), path);
    EXPECT_EQ(page->ParaPage()->GetNi(), 123);
    transport->Unplug(other);
    frame->OnDeviceChange();

    // The identities of the other pages are the one the customize page read from the device.
    EXPECT_EQ(frame->DeviceBox()->currentText(), "Product 01");
    EXPECT_EQ(frame->UpdatePage()->DeviceIdentity().m_wBcdDevice, 0x004C);

    transport->Unplug(location);
    frame->OnDeviceChange();
    EXPECT_FALSE(page->Button(CPageCustom::IDC_READ_FROM_DEVICE)->isEnabled());
    EXPECT_FALSE(page->Button(CPageCustom::IDC_WRITE_TO_DEVICE)->isEnabled());
    EXPECT_TRUE(page->Button(CPageCustom::IDC_SAVE_FILE)->isEnabled());
    EXPECT_EQ(page->DeviceIdentity().m_wBcdDevice, 0);
}

// Screens that could not be read are marked, and writing them asks first: the built-in set would replace
// the device's.
TEST_F(Customize, ScreensNotReadFromTheDeviceAreMarkedAndNotWrittenWithoutAsking)
{
    ModalAnswerer reports(mb::kIdOk);                      // the failed read's report
    const unsigned location = Connect("0x004C,protect=1"); // the upload of the areas fails
    EXPECT_FALSE(page->ScreensKnown());
    EXPECT_TRUE(page->DisplayPage()->UnreadLabel(11)->isVisibleTo(page->DisplayPage()));
    // The failed silent read is one plain line in the Log, not a box.
    EXPECT_TRUE(reports.texts.isEmpty()) << reports.texts.join("|").toStdString();
    EXPECT_TRUE(
        frame->LogText(false).contains("its flash is read-protected, so its settings and screens cannot be read"))
        << frame->LogText(false).toStdString();
    const Bytes before = Area(location, kFlashBase, kFlashSize);
    nemora::MonoImage& screen = *page->DisplayPage()->GetScreenImage(2);
    screen.SetLit(1, 1, !screen.IsLit(1, 1)); // screen 3 edited, the others as built in
    reports.answer = mb::kIdNo;
    reports.texts.clear();
    page->SetCurrentTab(CPageCustom::kTabDisplay);
    Click(CPageCustom::IDC_WRITE_TO_DEVICE);
    ASSERT_FALSE(reports.texts.isEmpty());
    EXPECT_TRUE(reports.texts.back().startsWith("Screens 1, 2, 4 to 12 were not read from this device"))
        << reports.texts.join("|").toStdString();
    EXPECT_TRUE(WaitForEngine());
    EXPECT_EQ(Area(location, kFlashBase, kFlashSize), before);
}

TEST_F(Customize, A96x96DeviceReadsAndWritesItsWholeLogoArea)
{
    CPageCustomDisplay& display = *page->DisplayPage();
    EXPECT_EQ(display.GetScreenImage(0)->Width(), 128);
    const unsigned location = Connect("0x0300"); // model 12
    // The parameter read brought the 96 x 96 set, laid out again.
    EXPECT_EQ(display.CurrentSet(), 4);
    EXPECT_EQ(display.GetScreenImage(11)->Height(), 96);
    EXPECT_EQ(display.Preview(0)->size(), QSize(100, 100));
    EXPECT_EQ(display.Preview(1)->y(), display.Preview(0)->y() + 120);

    const CDeviceIdentity& id = page->DeviceIdentity();
    ASSERT_EQ(id.m_dwLogoAddress, 0x08005000u);
    Click(CPageCustom::IDC_READ_FROM_DEVICE);
    ASSERT_TRUE(WaitForEngine());
    EXPECT_TRUE(page->Engine()->isVisible());
    EXPECT_EQ(EncodedImages(id), Area(location, 0x08005000, 13824));
    EXPECT_TRUE(QFile::exists(Path("transfer/user_log.vek")));

    nemora::MonoImage& screen1 = *display.GetScreenImage(0);
    screen1.SetLit(5, 90, !screen1.IsLit(5, 90));
    const Bytes before = Area(location, kFlashBase, kFlashSize);
    WriteOn(CPageCustom::kTabDisplay);
    const Bytes written = EncodedImages(id);
    EXPECT_EQ(written, Area(location, 0x08005000, 13824));
    // Everything else is as it was, the rest of the area's last 1 KiB flash page (0x08008600-0x080087FF) too.
    Bytes expected = before;
    std::copy(written.begin(), written.end(), expected.begin() + 0x5000);
    EXPECT_EQ(Area(location, kFlashBase, kFlashSize), expected);
    const auto staged = nemora::dfuse::ReadDfuFile(Path("transfer/param.vek").toStdString());
    ASSERT_TRUE(staged.file);
    EXPECT_EQ(staged.file->bcdDevice, 0x0300);
    EXPECT_EQ(staged.file->images.at(0).name, "param");
}

TEST_F(Customize, AWriteSendsOnlyTheCurrentSubPagesFieldsAndASaveChangesNothingOfIt)
{
    SettingsRecord known = KnownRecord();
    known.SetWord(SettingsRecord::kTcrOffset, 0xFFFF); // a field the page holds but does not show
    const unsigned location = Connect("0x004C", known);
    page->ParaPage()->SetNi(900);
    const CurvePoints power{50, 60, 70, 80, 90, 100, 110, 120, 130, 140};
    page->PowerPage()->LoadPoints(power.data(), 20);
    // A save in between must not change what the write sends.
    ASSERT_TRUE(page->OnSaveFileTo(Path("between.vek")));
    WriteOn(CPageCustom::kTabPower);

    SettingsRecord expected = known;
    expected.StoreMarker();
    expected.SetPowerCurve(power);
    EXPECT_EQ(DeviceRecord(location), expected);

    // An emptied box is written as the least value the field takes, and shown so; TCR stays as read.
    page->ParaPage()->Box(CPageCustomPara::IDC_EDIT_TCR_M1)->setText("");
    WriteOn(CPageCustom::kTabParameters);
    EXPECT_EQ(page->ParaPage()->Box(CPageCustomPara::IDC_EDIT_TCR_M1)->text(), "1");
    SettingsParameters params = expected.Parameters();
    params.wNi = 900;
    params.wTcrM1 = 1;
    expected.SetParameters(params);
    EXPECT_EQ(DeviceRecord(location), expected);
}

TEST_F(Customize, ValuesBeyondTheDeviceFromALoadedFileAreWrittenLimited)
{
    const unsigned location = Connect("0x004C"); // 5 W to 160 W
    SettingsRecord wild = KnownRecord();
    SettingsParameters params;
    params.wNi = 9990;
    params.wSs = 9990;
    wild.SetParameters(params);
    CurvePoints power = DefaultPowerCurve();
    power[2] = 9990;
    wild.SetPowerCurve(power);
    WriteFile(Path("wild.vek"),
              nemora::dfuse::DfuFile{
                  0x0483,
                  0xDF11,
                  0x0200,
                  {nemora::dfuse::Image{0, "user_para", {{0x0800F000, {wild.Data(), wild.Data() + 2048}}}}}});
    ASSERT_TRUE(page->OnLoadFileFrom(Path("wild.vek")));
    WriteOn(CPageCustom::kTabParameters);
    WriteOn(CPageCustom::kTabPower);
    const SettingsRecord now = DeviceRecord(location);
    EXPECT_EQ(now.Parameters().wNi, 1000);
    EXPECT_EQ(now.Parameters().wSs, 1000);
    EXPECT_EQ(now.PowerCurve()[2], 1600);
    EXPECT_EQ(page->ParaPage()->Box(CPageCustomPara::IDC_EDIT_SS)->text(), "1000");
}

TEST_F(Customize, SaveChangeLoadBringsTheEditorsBackAndTheFileLoadsWithTheCli)
{
    Connect("0x004C");
    const QString file = Path("saved.vek");
    ASSERT_TRUE(page->OnSaveFileTo(file));
    const SettingsRecord saved = Editors();
    ChangeEditors();
    EXPECT_NE(Editors(), saved);
    ASSERT_TRUE(page->OnLoadFileFrom(file));
    EXPECT_EQ(Editors(), saved);

    // The file: the console's layout, 0xFF outside the edited fields, Fahrenheit kept as 0xFFFF.
    const auto parsed = nemora::dfuse::ReadDfuFile(file.toStdString());
    ASSERT_TRUE(parsed.file);
    EXPECT_EQ(parsed.file->vid, 0x0483);
    EXPECT_EQ(parsed.file->pid, 0xDF11);
    EXPECT_EQ(parsed.file->bcdDevice, 0x0200);
    ASSERT_EQ(parsed.file->images.size(), 2u);
    EXPECT_EQ(parsed.file->images[0].name, "user_log");
    EXPECT_EQ(parsed.file->images[0].elements.at(0).address, 0x0800D000u);
    EXPECT_EQ(parsed.file->images[0].elements.at(0).data.size(), 6144u);
    EXPECT_EQ(parsed.file->images[1].name, "user_para");
    SettingsRecord inFile;
    inFile.TakeIn(parsed.file->images[1].elements.at(0).data.data(), kParamSize);
    EXPECT_EQ(inFile.TemperatureUnit(), 0xFFFF);
    EXPECT_EQ(inFile.Word(2), 0xFFFF);
    EXPECT_EQ(Fields(inFile), saved);

    // nemora-cli takes the console's file, and the console takes nemora-cli's.
    const std::string other = "NEMORA_SIM=bcd=0x004C,flash=" + Path("other.bin").toStdString();
    CliResult cli = RunCli({"settings", "load", file.toStdString()}, {other});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    cli = RunCli({"settings", "save", Path("from-cli.vek").toStdString()}, {other});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    ChangeEditors();
    ASSERT_TRUE(page->OnLoadFileFrom(Path("from-cli.vek")));
    EXPECT_EQ(Editors(), saved);
}

TEST_F(Customize, AFileTakesOnlyAreasOfThisDeviceByAddressAndOnlyImagesWithTheirExactNames)
{
    const unsigned location = Connect("0x004C"); // 128 x 32
    ASSERT_TRUE(page->OnSaveFileTo(Path("small.vek")));
    const SettingsRecord saved = Editors();
    transport->Unplug(location);
    SettingsRecord other = KnownRecord();
    other.SetParameters({1, 2, 3, 4, 5, 6, 7});
    Connect("0x0300", other, "big.bin"); // 96 x 96: the file's logo image is at another address
    ASSERT_EQ(Fields(page->Record()), Fields(other));
    const Bytes images = EncodedImages(page->DeviceIdentity());
    ModalAnswerer boxes(mb::kIdOk);
    ASSERT_TRUE(page->OnLoadFileFrom(Path("small.vek")));
    EXPECT_EQ(Editors(), saved);
    EXPECT_EQ(EncodedImages(page->DeviceIdentity()), images);
    // What was left out is said.
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].contains("- image \"user_log\": its address 0x0800D000 is neither this device's logo "
                                        "area (0x08005000)"))
        << boxes.texts[0].toStdString();
    // A file with nothing for this device is refused and changes nothing.
    WriteFile(Path("none.vek"), {0x0483, 0xDF11, 0x0200, {{0, "user_log", {{0x0800D000, Bytes(6144, 0x00)}}}}});
    EXPECT_FALSE(page->OnLoadFileFrom(Path("none.vek")));
    ASSERT_EQ(boxes.texts.size(), 2);
    EXPECT_TRUE(boxes.texts[1].contains("holds nothing for this device")) << boxes.texts[1].toStdString();
    EXPECT_EQ(Editors(), saved);
    boxes.texts.clear();

    // "user_power" at the parameter area is a whole record; "User_log" is no name of ours.
    SettingsRecord record = KnownRecord();
    record.SetParameters({9, 8, 7, 6, 5, 4, 3});
    const Bytes recordBytes(record.Data(), record.Data() + kParamSize);
    WriteFile(Path("power.vek"), {0x0483,
                                  0xDF11,
                                  0x0200,
                                  {{0, "User_log", {{0x08005000, Bytes(13824, 0x00)}}},
                                   {0, "user_power", {{kParamAddress, recordBytes}}}}});
    ASSERT_TRUE(page->OnLoadFileFrom(Path("power.vek")));
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].contains("- image \"User_log\"")) << boxes.texts[0].toStdString();
    EXPECT_EQ(page->Record(), record);
    EXPECT_EQ(Editors(), Fields(record));
    EXPECT_EQ(EncodedImages(page->DeviceIdentity()), images);

    // A short logo element changes only the whole pages it holds (96 bytes each here).
    WriteFile(Path("short.vek"), {0x0483, 0xDF11, 0x0200, {{0, "user_log", {{0x08005000, Bytes(96 + 5, 0x00)}}}}});
    ASSERT_TRUE(page->OnLoadFileFrom(Path("short.vek")));
    Bytes expected = images;
    std::fill_n(expected.begin(), 96, 0x00);
    EXPECT_EQ(EncodedImages(page->DeviceIdentity()), expected);
}

TEST_F(Customize, ACelsiusRecordSwitchesTheTemperatureEditorAndACelsiusSaveLoadsBackInCelsius)
{
    Connect("0x004C", KnownRecord(0));
    CPageCustomTEMP& temp = *page->TempPage();
    EXPECT_FALSE(temp.Limits().bFahrenheit);
    EXPECT_EQ(temp.Limits().wMax, 315);
    EXPECT_EQ(temp.Limits().wMin, 100);
    const CurvePoints celsius = KnownRecord(0).TemperatureCurve();
    EXPECT_EQ(Editors().TemperatureCurve(), celsius);

    ASSERT_TRUE(page->OnSaveFileTo(Path("celsius.vek")));
    ASSERT_TRUE(page->OnLoadFileFrom(Path("celsius.vek")));
    EXPECT_FALSE(temp.Limits().bFahrenheit);
    EXPECT_EQ(Editors().TemperatureCurve(), celsius);
}

// "Default" on each sub-page: No leaves it, Yes restores it and says so.
struct DefaultCase {
    int tab;
    const char* name;
    const char* notice;
};

class CustomizeDefault : public Customize, public testing::WithParamInterface<DefaultCase> {
protected:
    Bytes State()
    {
        const SettingsRecord editors = Editors();
        Bytes state = EncodedImages(page->DeviceIdentity());
        state.insert(state.end(), editors.Data(), editors.Data() + 100);
        return state;
    }
};

TEST_P(CustomizeDefault, NoChangesNothingYesRestoresAndShowsTheNotice)
{
    const DefaultCase& c = GetParam();
    Connect("0x004C");
    nemora::MonoImage& screen = *page->DisplayPage()->GetScreenImage(0);
    screen.SetLit(0, 0, !screen.IsLit(0, 0));
    page->SetCurrentTab(c.tab);
    const Bytes before = State();
    {
        ModalAnswerer no(mb::kIdNo);
        Click(CPageCustom::IDC_DEFAULT);
        ASSERT_EQ(no.texts.size(), 1);
        EXPECT_EQ(no.texts[0], QString::fromUtf8("Are you sure you will recover the data to the default value, which "
                                                 "will discard the changes you have make!            ") +
                                   QString::fromUtf8(c.name));
    }
    EXPECT_EQ(State(), before);

    ModalAnswerer yes(mb::kIdYes);
    Click(CPageCustom::IDC_DEFAULT);
    ASSERT_EQ(yes.texts.size(), 2);
    EXPECT_EQ(yes.texts[1], QString::fromUtf8(c.notice) + "Has been restored to the default value!");
    const Bytes after = State();
    EXPECT_NE(after, before);
    // Only the current sub-page changed.
    const std::size_t logo = LogoDataLength(page->DeviceIdentity());
    EXPECT_EQ(std::equal(after.begin(), after.begin() + static_cast<long>(logo), before.begin()),
              c.tab != CPageCustom::kTabDisplay);
    if (c.tab == CPageCustom::kTabPower) {
        EXPECT_EQ(Editors().PowerCurve(), DefaultPowerCurve());
    }
    if (c.tab == CPageCustom::kTabParameters) {
        EXPECT_EQ(Editors().Parameters(), SettingsParameters{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    SubPages, CustomizeDefault,
    testing::Values(DefaultCase{0, "【All user logo resource】", "【All user logo resource】"},
                    DefaultCase{1, "【All user parameter resource】", "【All user parameter resource】"},
                    DefaultCase{2, "【All user temperature resource】", "【All user temperature resource】"},
                    DefaultCase{3, "【All user Power resource】", "【All user Powe resource】"}),
    [](const testing::TestParamInfo<DefaultCase>& param) { return "Tab" + std::to_string(param.param.tab); });

TEST_F(Customize, DisconnectThenTheDeviceLeavingKeepsTheEngineWithItsOutcome)
{
    const unsigned location = Connect("0x004C");
    PAGE_NOTIFY notify;
    notify.code = NOTIFY_DISCONNECT;
    frame->View()->OnNotify(0, notify);
    EXPECT_TRUE(page->IsLeavingDfu());
    ASSERT_TRUE(WaitForEngine());
    const QString outcome = page->Engine()->ProgressBar()->GetWindowText();
    EXPECT_TRUE(outcome.endsWith("Successfully left updating mode !")) << outcome.toStdString();
    frame->OnDeviceChange(); // the device went back to its application
    EXPECT_TRUE(page->Engine()->isVisible());
    EXPECT_EQ(page->Engine()->ProgressBar()->GetWindowText(), outcome);
    EXPECT_FALSE(page->IsLeavingDfu());

    transport->Unplug(location);
    SettingsRecord other = KnownRecord();
    other.SetParameters({1, 2, 3, 4, 5, 6, 7});
    Connect("0x004C", other, "second.bin");
    EXPECT_EQ(Editors(), Fields(other));
}

TEST_F(Customize, ADeviceInTheMiddleOfAFirmwareDownloadIsLeftAlone)
{
    Plug("bcd=0x004C,timing=fullspeed");
    frame->OnDeviceChange();
    ASSERT_TRUE(WaitForEngine());
    CPageUpdate& update = *frame->UpdatePage();
    ModalAnswerer answers(mb::kIdOk);
    update.OnChooseFile(QStringLiteral(NEMORA_DEMO_FIRMWARE));
    update.OnDownload();
    ASSERT_TRUE(update.Engine()->IsRunning());
    Plug("mode=other"); // any arrival sends the path again: no read while the download runs
    frame->OnDeviceChange();
    EXPECT_FALSE(page->Engine()->IsRunning());
    Click(CPageCustom::IDC_READ_FROM_DEVICE);
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].startsWith("The device is busy with another transfer."));
    EXPECT_FALSE(page->Engine()->IsRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !update.Engine()->IsRunning(); }, 30000));
    EXPECT_TRUE(update.Engine()->ProgressBar()->GetWindowText().endsWith("Verify successful !"));
}

// Files that cannot be read are reported, and nothing changes.
struct BadFile {
    const char* name;
    std::function<void(Bytes&)> damage; // null: the file does not exist
    const char* reason;
};

class CustomizeBadFile : public Customize, public testing::WithParamInterface<BadFile> {};

TEST_P(CustomizeBadFile, IsReportedAndChangesNothing)
{
    const BadFile& c = GetParam();
    Connect("0x004C");
    const QString file = Path("settings.vek");
    ASSERT_TRUE(page->OnSaveFileTo(file));
    if (c.damage) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const QByteArray raw = f.readAll();
        Bytes bytes(raw.begin(), raw.end());
        c.damage(bytes);
        f.resize(0);
        f.seek(0);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    } else {
        QFile::remove(file);
    }
    ChangeEditors();
    const SettingsRecord before = Editors();
    ModalAnswerer answers(mb::kIdOk);
    EXPECT_FALSE(page->OnLoadFileFrom(file));
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].startsWith("Unable to load the settings file " + file + ": "))
        << answers.texts[0].toStdString();
    EXPECT_TRUE(answers.texts[0].contains(c.reason)) << answers.texts[0].toStdString();
    EXPECT_EQ(Editors(), before);
}

INSTANTIATE_TEST_SUITE_P(Files, CustomizeBadFile,
                         testing::Values(BadFile{"Missing", nullptr, "cannot"},
                                         BadFile{"WrongCrc", [](Bytes& b) { b[100] ^= 0x01; }, "CRC"},
                                         BadFile{"Truncated", [](Bytes& b) { b.resize(b.size() / 2); }, ""}),
                         [](const testing::TestParamInfo<BadFile>& param) { return std::string(param.param.name); });

// A write that fails says first what the device now holds, read back after the failure, then the decoded
// report; when it changed the device it offers the snapshot taken before it, and "Yes" brings both areas
// back byte for byte.
struct FailedWriteCase {
    const char* name;
    int tab;
    const char* fault;
    const char* says;
    bool changed;           // the failure left the area changed, so the restore is offered
    bool unplugged = false; // the device went away: the offer waits for it to come back
};
class CustomizeFailedWrite : public Customize, public ::testing::WithParamInterface<FailedWriteCase> {};

TEST_P(CustomizeFailedWrite, SaysWhatItLeftAndTheRestoreBringsTheAreasBack)
{
    const FailedWriteCase& c = GetParam();
    const unsigned location = Connect((std::string("0x004C,") + c.fault).c_str());
    const Bytes before = Area(location, kFlashBase, kFlashSize);
    page->ParaPage()->SetNi(321);
    page->PowerPage()->LoadPoints(CurvePoints{110, 160, 210, 260, 310, 360, 410, 460, 510, 560}.data(), 20);
    nemora::MonoImage& screen = *page->DisplayPage()->GetScreenImage(0);
    screen.SetLit(3, 3, !screen.IsLit(3, 3));
    ModalAnswerer yes(mb::kIdYes);
    page->SetCurrentTab(c.tab);
    Click(CPageCustom::IDC_WRITE_TO_DEVICE);
    const qsizetype boxes = c.changed && !c.unplugged ? 2 : 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return yes.texts.size() >= boxes && !page->Engine()->IsRunning(); }, 30000))
        << yes.texts.join("|").toStdString() << page->Engine()->ProgressBar()->GetWindowText().toStdString();
    EXPECT_TRUE(yes.texts[0].startsWith(c.says)) << yes.texts.join("|").toStdString();
    EXPECT_TRUE(yes.texts[0].contains("Error Code:")) << "then the decoded report";
    if (!c.changed) {
        EXPECT_EQ(yes.texts.size(), 1) << "nothing to restore";
        EXPECT_EQ(Area(location, kFlashBase, kFlashSize), before);
        return;
    }
    unsigned at = location;
    if (c.unplugged) {
        ASSERT_EQ(yes.texts.size(), 1);
        at = Plug(("bcd=0x004C,flash=" + Path("flash.bin").toStdString()).c_str());
        frame->OnDeviceChange();
        ASSERT_TRUE(QTest::qWaitFor([&] { return yes.texts.size() >= 2; }, 30000));
    }
    // Once the device is back, what it holds is read and said first.
    EXPECT_TRUE(yes.texts[1].startsWith(c.unplugged ? "Screens 1, 2 are blank" : "Write back what the device held"))
        << yes.texts[1].toStdString();
    EXPECT_TRUE(yes.texts[1].contains("Write back what the device held before the failed write ?"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Area(at, kFlashBase, kFlashSize) == before; }, 30000))
        << page->Engine()->ProgressBar()->GetWindowText().toStdString();
    EXPECT_TRUE(WaitForEngine());
    // The window ends on the restore's verdict, and the editors show what the device holds again.
    EXPECT_TRUE(page->Engine()->ProgressBar()->GetWindowText().endsWith("Verify successful !"))
        << page->Engine()->ProgressBar()->GetWindowText().toStdString();
    EXPECT_EQ(Editors(), Fields(KnownRecord()));
    EXPECT_EQ(EncodedImages(page->DeviceIdentity()), Area(at, 0x0800D000, 6144));
    EXPECT_FALSE(page->EditsPending());
}

INSTANTIATE_TEST_SUITE_P(
    SubPages, CustomizeFailedWrite,
    ::testing::Values(FailedWriteCase{"PowerLine", CPageCustom::kTabPower, "fault=status=errPROG@write:1",
                                      "The parameter area was erased but not written: the device has no settings",
                                      true},
                      FailedWriteCase{"Parameters", CPageCustom::kTabParameters, "fault=status=errERASE@erase:1",
                                      "Nothing was changed: the device holds the settings it held before", false},
                      FailedWriteCase{"Display", CPageCustom::kTabDisplay, "fault=status=errPROG@write:1",
                                      "Screens 1, 2 are blank; the other screens are as they were.", true},
                      FailedWriteCase{"DisplayUnplugged", CPageCustom::kTabDisplay, "fault=unplug@write:1",
                                      "The write stopped part-way: some screens", true, true}),
    [](const ::testing::TestParamInfo<FailedWriteCase>& param) { return std::string(param.param.name); });

// A device pulled out during a write is known again by its serial number: another device chosen in its
// place never gets its snapshot, and the way back is offered when it is chosen again. The other device may
// be chosen before the write has noticed (the write then ends as an unplug, and says so), or after.
struct CutShortCase {
    const char* name;
    bool chosenAtOnce; // pulled out as the write starts, the other chosen before the write has noticed
    const char* says;
};
class CustomizeCutShort : public Customize, public ::testing::WithParamInterface<CutShortCase> {};

TEST_P(CustomizeCutShort, IsRestoredOnlyOntoItsOwnDevice)
{
    const CutShortCase& c = GetParam();
    const unsigned first = Connect(c.chosenAtOnce ? "0x004C,serial=FIRST" : "0x004C,serial=FIRST,fault=unplug@write:1");
    const Bytes before = Area(first, kFlashBase, kFlashSize);
    Connect("0x004C,serial=OTHER", KnownRecord(), "other.bin");
    const unsigned other = first + 1;
    const Bytes otherBefore = Area(other, kFlashBase, kFlashSize);
    ASSERT_FALSE(otherBefore.empty());

    ModalAnswerer yes(mb::kIdYes);
    nemora::MonoImage& screen = *page->DisplayPage()->GetScreenImage(0);
    screen.SetLit(3, 3, !screen.IsLit(3, 3));
    page->SetCurrentTab(CPageCustom::kTabDisplay);
    Click(CPageCustom::IDC_WRITE_TO_DEVICE);
    if (c.chosenAtOnce) {
        ASSERT_TRUE(page->Engine()->IsRunning());
        transport->Unplug(first);
    } else {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !yes.texts.isEmpty(); }, 30000));
    }
    frame->OnDeviceChange();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !yes.texts.isEmpty() && WaitForEngine(); }, 30000));
    EXPECT_TRUE(yes.texts[0].startsWith(c.says)) << yes.texts.join("|").toStdString();
    QTest::qWait(200);
    EXPECT_EQ(yes.texts.size(), 1) << "no restore offered to the other device: " << yes.texts.join("|").toStdString();
    EXPECT_EQ(Area(other, kFlashBase, kFlashSize), otherBefore);

    // The first device back, the other gone: it is chosen, and its own snapshot offered when the write
    // changed it.
    transport->Unplug(other);
    const unsigned back = Plug(("bcd=0x004C,serial=FIRST,flash=" + Path("flash.bin").toStdString()).c_str());
    frame->OnDeviceChange();
    ASSERT_TRUE(WaitForEngine());
    if (!c.chosenAtOnce) {
        EXPECT_TRUE(frame->LogText(false).contains("is offered when that device is selected again"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return yes.texts.size() >= 2 && WaitForEngine(); }, 30000));
        EXPECT_TRUE(yes.texts[1].startsWith("Screens 1, 2 are blank")) << yes.texts[1].toStdString();
        EXPECT_TRUE(yes.texts[1].contains("Write back what the device held before the failed write ?"));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return Area(back, kFlashBase, kFlashSize) == before; }, 30000));
}

INSTANTIATE_TEST_SUITE_P(
    Customize, CustomizeCutShort,
    ::testing::Values(CutShortCase{"FailureSaidFirst", false, "The write stopped part-way: some screens"},
                      CutShortCase{"OtherChosenFirst", true, "Disconnected during the read: nothing on the device"}),
    [](const ::testing::TestParamInfo<CutShortCase>& param) { return std::string(param.param.name); });

// Edits kept while the device was out and back are written to it as to any device: with its identity.
TEST_F(Customize, EditsKeptAcrossAnUnplugAreWrittenWhenTheDeviceIsBack)
{
    const unsigned location = Connect("0x004C,serial=SAME");
    const CurvePoints edited{110, 160, 210, 260, 310, 360, 410, 460, 510, 560};
    page->PowerPage()->LoadPoints(edited.data(), 20);
    transport->Unplug(location);
    frame->OnDeviceChange();
    const unsigned back = Plug(("bcd=0x004C,serial=SAME,flash=" + Path("flash.bin").toStdString()).c_str());
    frame->OnDeviceChange();
    ASSERT_TRUE(WaitForEngine());
    ASSERT_TRUE(page->EditsPending()) << "the edits were kept";
    WriteOn(CPageCustom::kTabPower);
    EXPECT_EQ(DeviceRecord(back).PowerCurve(), edited);
}

TEST_F(Customize, FilesThatCannotBeWrittenAreReportedAndNothingIsDownloaded)
{
    const unsigned location = Connect("0x004C");
    ModalAnswerer answers(mb::kIdOk);
    const QString missing = Path("no-such-folder/settings.vek");
    EXPECT_FALSE(page->OnSaveFileTo(missing));
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].startsWith("Unable to save the settings file " + missing + ": "))
        << answers.texts[0].toStdString();

    // Over a folder of the same name: the rename fails and the folder stays as it was.
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken.vek/inside"));
    EXPECT_FALSE(page->OnSaveFileTo(Path("taken.vek")));
    EXPECT_EQ(answers.texts.size(), 2);
    EXPECT_TRUE(QDir(Path("taken.vek/inside")).exists());

    // A staging file that cannot be written: the write stops before the engine has anything to download.
    ASSERT_TRUE(QDir(dir.path()).mkpath("transfer/param.vek/inside"));
    const CurvePoints power{50, 50, 50, 50, 50, 50, 50, 50, 50, 50};
    page->PowerPage()->LoadPoints(power.data(), 20);
    page->SetCurrentTab(CPageCustom::kTabPower);
    Click(CPageCustom::IDC_WRITE_TO_DEVICE);
    ASSERT_EQ(answers.texts.size(), 3);
    EXPECT_TRUE(answers.texts[2].startsWith("Unable to write the staging file ")) << answers.texts[2].toStdString();
    EXPECT_FALSE(page->Engine()->IsRunning());
    EXPECT_EQ(DeviceRecord(location), KnownRecord());
}

} // namespace
