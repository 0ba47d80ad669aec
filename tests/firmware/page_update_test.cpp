// The "ROM Update" page end to end: the real frame, view, page, engine and DfuSe library over virtual
// devices.

#include "app/harbor_view.h"
#include "app/main_frame.h"
#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfu_file.h"
#include "fake_dfuse_library.h"
#include "firmware/page_update.h"
#include "modal_answerer.h"
#include "settings/page_custom.h"
#include "sim/sim_transport.h"
#include "sim_frame_fixture.h"
#include "widgets/message_box_dialog.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct RomUpdate : SimFrameFixture {
    CPageUpdate* page = nullptr;
    const QString demo = QStringLiteral(NEMORA_DEMO_FIRMWARE);

    void SetUp() override
    {
        SimFrameFixture::SetUp();
        page = frame->UpdatePage();
    }
    unsigned Connect(const char* device)
    {
        const unsigned location = Plug(device);
        frame->OnDeviceChange();
        // The customize page reads a newly selected device's settings at once; let that read end first.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !frame->CustomPage()->Engine() || !frame->CustomPage()->Engine()->IsRunning(); }, 30000));
        return location;
    }
    bool WaitForEngine()
    {
        return QTest::qWaitFor([&] { return page->Engine() && !page->Engine()->IsRunning(); }, 30000);
    }
    QString BarText() const { return page->Engine()->ProgressBar()->GetWindowText(); }
};

TEST_F(RomUpdate, ChooseDownloadEraseWriteVerifyThenDownloadComesBack)
{
    const unsigned location = Connect("bcd=0x004C");
    EXPECT_EQ(frame->DeviceBox()->currentText(), "Product 01");

    ModalAnswerer answers(nemora::widgets::kIdNo);
    page->OnChooseFile(demo);
    EXPECT_EQ(page->FileEdit()->text(), demo);
    EXPECT_EQ(page->ProductLabel()->text(), "Brand A");
    EXPECT_EQ(page->ModelLabel()->text(), "Product 01");
    EXPECT_EQ(page->VersionLabel()->text(), "1.2");
    EXPECT_TRUE(page->DownloadButton()->isEnabled());

    page->DownloadButton()->click();
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
    ASSERT_NE(page->Engine(), nullptr);
    EXPECT_TRUE(page->Engine()->isVisible());
    ASSERT_TRUE(WaitForEngine());
    EXPECT_TRUE(BarText().endsWith("Verify successful !")) << BarText().toStdString();
    EXPECT_TRUE(answers.texts.isEmpty()) << answers.texts.join("|").toStdString();
    EXPECT_TRUE(page->DownloadButton()->isEnabled()); // NOTIFY_ENGINE_DONE

    // The flash holds the file's 12 KiB at the start, and nothing after them was touched.
    const auto flash = transport->Flash(location);
    ASSERT_TRUE(flash.has_value());
    const QByteArray file = FileBytes(demo);
    const QByteArray banner("NEMORA DEMO FIRMWARE 1.2");
    const auto at = file.indexOf(banner);
    ASSERT_GE(at, 0);
    const QByteArray written(reinterpret_cast<const char*>(flash->data()), 12 * 1024);
    EXPECT_TRUE(written.contains(banner));
    EXPECT_EQ(written, file.mid(at - 64, 12 * 1024));
    EXPECT_EQ((*flash)[12 * 1024], 0xFF);
}

TEST_F(RomUpdate, FileForAnotherModelIsRefusedAtChooseAndAtDownload)
{
    Connect("bcd=0x0300"); // model 12
    ModalAnswerer answers(nemora::widgets::kIdYes);
    page->OnChooseFile(demo);
    ASSERT_EQ(answers.texts.size(), 1);
    // Refused at once, both models named; no question whose answer would be ignored.
    EXPECT_EQ(answers.texts[0],
              "This file is for Product 01 (model 1), not for the device attached, Product 12 "
              "(model 12): it cannot be written into it.\nChoose a firmware file made for Product 12.");
    EXPECT_EQ(page->FileEdit()->text(), demo);
    EXPECT_TRUE(page->DownloadButton()->isEnabled());

    page->OnDownload();
    ASSERT_TRUE(WaitForEngine());
    EXPECT_TRUE(BarText().endsWith("This file is not supposed to be used with device,ID:0x0300!!"))
        << BarText().toStdString();
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
}

TEST_F(RomUpdate, ChoosingBeforeAnyDeviceWaitsForOne)
{
    ModalAnswerer answers(nemora::widgets::kIdNo);
    page->OnChooseFile(demo);
    EXPECT_TRUE(answers.texts.isEmpty());
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
    Connect("bcd=0x004C");
    EXPECT_TRUE(page->DownloadButton()->isEnabled());
}

TEST_F(RomUpdate, UnpluggingDuringADownloadStopsTheEngine)
{
    const unsigned location = Connect("bcd=0x004C,timing=fullspeed");
    ModalAnswerer answers(nemora::widgets::kIdOk);
    page->OnChooseFile(demo);
    page->OnDownload();
    // Past the snapshot's read, into the erase or the download.
    QDeadlineTimer deadline(30000);
    while (page->Engine()->IsRunning() && !page->Engine()->ProgressBar()->GetWindowText().contains(" Phase ") &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(page->Engine()->IsRunning());
    transport->Unplug(location);
    frame->OnDeviceChange();
    EXPECT_FALSE(page->Engine()->IsRunning());
    // The engine stays in view to say that the device now holds an incomplete firmware.
    EXPECT_TRUE(page->Engine()->isVisible());
    EXPECT_TRUE(page->Engine()->ProgressBar()->GetWindowText().endsWith("the firmware is incomplete"))
        << page->Engine()->ProgressBar()->GetWindowText().toStdString();
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
    EXPECT_EQ(frame->DeviceBox()->currentText(), "");
}

TEST_F(RomUpdate, BadFilesLeaveNothingToDownload)
{
    Connect("bcd=0x004C");
    ModalAnswerer answers(nemora::widgets::kIdNo);
    page->OnChooseFile(demo);
    ASSERT_TRUE(page->DownloadButton()->isEnabled());

    // A container whose image cannot be read: its element claims more bytes than the file holds.
    QByteArray damaged = FileBytes(demo);
    QFile out(dir.filePath("damaged.vek"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(damaged.left(100));
    out.close();
    page->OnChooseFile(dir.filePath("damaged.vek")); // not a container any more: refused, with the reason
    EXPECT_EQ(page->FileEdit()->text(), demo);
    ASSERT_FALSE(answers.texts.isEmpty());
    EXPECT_TRUE(answers.texts.back().startsWith("The file \"damaged.vek\" cannot be used: "))
        << answers.texts.back().toStdString();

    // A wrong CRC and a missing file say so too.
    QByteArray crc = FileBytes(demo);
    crc[200] = static_cast<char>(crc[200] ^ 0x20);
    QFile crcFile(dir.filePath("crc.vek"));
    ASSERT_TRUE(crcFile.open(QIODevice::WriteOnly));
    crcFile.write(crc);
    crcFile.close();
    for (const char* name : {"crc.vek", "missing.vek"}) {
        const qsizetype before = answers.texts.size();
        page->OnChooseFile(dir.filePath(name));
        EXPECT_EQ(page->FileEdit()->text(), demo);
        ASSERT_EQ(answers.texts.size(), before + 1) << name;
        EXPECT_TRUE(answers.texts.back().contains(QString("\"") + name + "\" cannot be used: "));
    }
    EXPECT_TRUE(answers.texts.back().contains("cannot read"));
    EXPECT_TRUE(answers.texts[answers.texts.size() - 2].contains("CRC")) << answers.texts.join("|").toStdString();

    // After a device change Download comes back with the remembered path, and the engine reports the
    // typed (here empty) path it is given.
    page->FileEdit()->clear();
    frame->OnDeviceChange();
    EXPECT_TRUE(page->DownloadButton()->isEnabled());
    page->OnDownload();
    EXPECT_TRUE(BarText().endsWith("Unable to find data for that device from the file ")) << BarText().toStdString();
}

} // namespace

namespace {

// A library whose files open but whose images cannot be read.
class UnreadableImages : public FakeDfuseLibrary {
public:
    std::uint32_t STDFUFILES_ReadImageFromDFUFile(DfuFileHandle, int, DfuImageHandle*) override { return 0x12347001; }
};

TEST(RomUpdatePage, AFileWithAnUnreadableImageEmptiesTheBoxAndDisablesDownload)
{
    UnreadableImages library;
    CPageUpdate page(nullptr, library, nullptr);
    page.OnInitDialog();
    page.SetDevicePath("USB:1-1:VID_0483&PID_DF11#{3FE809AB-FB91-4CB5-A643-69670D52366E}");
    page.FileEdit()->setText("typed");
    ModalAnswerer answers(nemora::widgets::kIdOk);
    page.OnChooseFile(QStringLiteral(NEMORA_DEMO_FIRMWARE));
    EXPECT_EQ(page.FileEdit()->text(), "");
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].endsWith("cannot be used: one of its images cannot be read.\nChoose a firmware file "
                                          "(.vek) made for your device."))
        << answers.texts[0].toStdString();
    EXPECT_FALSE(page.DownloadButton()->isEnabled());
    EXPECT_EQ(page.ProductLabel()->text(), "Brand A"); // the identity is still shown

    // Enter is swallowed by the page's controls.
    QTest::keyClick(page.FileEdit(), Qt::Key_Return);
    EXPECT_EQ(page.FileEdit()->text(), "");
}

} // namespace

namespace {

TEST_F(RomUpdate, ADeviceEventDuringADownloadDoesNotOfferASecondOne)
{
    Connect("bcd=0x004C,timing=fullspeed");
    ModalAnswerer answers(nemora::widgets::kIdOk);
    page->OnChooseFile(demo);
    page->OnDownload();
    ASSERT_TRUE(page->Engine()->IsRunning());
    std::string error;
    transport->Plug("mode=other", error); // a mouse arrives: the same path is sent again
    frame->OnDeviceChange();
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
    page->EnableDownload(true);
    EXPECT_FALSE(page->DownloadButton()->isEnabled());
    ASSERT_TRUE(WaitForEngine());
    EXPECT_TRUE(BarText().endsWith("Verify successful !")) << BarText().toStdString();
    EXPECT_TRUE(page->DownloadButton()->isEnabled());
}

TEST_F(RomUpdate, ADeviceWithoutPermissionIsExplainedAndTheDriverInstallerOffered)
{
    Connect("bcd=0x004C,fault=access");
    ModalAnswerer answers(nemora::widgets::kIdNo);
    page->OnChooseFile(demo);
    ASSERT_TRUE(page->DownloadButton()->isEnabled());
    page->DownloadButton()->click();
    ASSERT_NE(page->Engine(), nullptr);
    EXPECT_EQ(BarText(), "No permission to open the device: install the driver");
    ASSERT_EQ(answers.texts.size(), 1) << answers.texts.join("|").toStdString();
    EXPECT_TRUE(answers.texts[0].contains("Install it now?"));
    // Dismissing the engine gives the page its download button back.
    page->Engine()->OkButton()->click();
    EXPECT_TRUE(page->DownloadButton()->isEnabled());
}

} // namespace

namespace {

TEST_F(RomUpdate, AFirmwareOverTheLogoAreaIsFlaggedAndItsSnapshotIsOfferedAndRestoredAfterwards)
{
    // A device whose every flash byte is known, and a firmware that also writes part of its logo area.
    std::vector<std::uint8_t> flash(65536);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    QFile flashFile(dir.filePath("flash.bin"));
    ASSERT_TRUE(flashFile.open(QIODevice::WriteOnly));
    flashFile.write(reinterpret_cast<const char*>(flash.data()), static_cast<qint64>(flash.size()));
    flashFile.close();
    const QString firmware = dir.filePath("over-logo.vek");
    ASSERT_FALSE(nemora::dfuse::WriteDfuFile(
        firmware.toStdString(),
        nemora::dfuse::DfuFile{0x0483,
                               0xDF11,
                               0x0041,
                               {nemora::dfuse::Image{0,
                                                     "",
                                                     {{0x08000000, std::vector<std::uint8_t>(2048, 0x11)},
                                                      {0x0800D000, std::vector<std::uint8_t>(1024, 0x00)}}}}}));
    const unsigned location = Connect(("bcd=0x004C,flash=" + dir.filePath("flash.bin").toStdString()).c_str());

    ModalAnswerer answers(nemora::widgets::kIdYes);
    page->OnChooseFile(demo);
    EXPECT_TRUE(page->AreasLabel()->isHidden()) << page->AreasLabel()->text().toStdString();
    page->OnChooseFile(firmware);
    EXPECT_FALSE(page->AreasLabel()->isHidden());
    EXPECT_TRUE(page->AreasLabel()->text().contains("logo area")) << page->AreasLabel()->text().toStdString();
    EXPECT_FALSE(page->AreasLabel()->text().contains("parameter area"));
    EXPECT_TRUE(page->AreasLabel()->text().contains("snapshot"));

    page->OnDownload();
    ASSERT_TRUE(WaitForEngine());
    EXPECT_TRUE(BarText().endsWith("Verify successful !")) << BarText().toStdString();
    EXPECT_FALSE(page->Engine()->LastSnapshot().isEmpty());
    // Offered, answered Yes: the customize page writes both areas back, and the firmware stays.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto now = transport->Flash(location);
            return now && std::equal(flash.begin() + 0xD000, flash.end(), now->begin() + 0xD000);
        },
        30000));
    EXPECT_TRUE(std::any_of(answers.texts.begin(), answers.texts.end(), [](const QString& t) {
        return t.startsWith("The update replaced the device's logo area");
    })) << answers.texts.join("|").toStdString();
    EXPECT_EQ((*transport->Flash(location))[0], 0x11);
    EXPECT_FALSE(page->Engine()->isVisible()) << "one engine window, the restore's";

    // Closing the window afterwards does not offer the same snapshot again.
    const auto offers = [&] {
        return std::count_if(answers.texts.begin(), answers.texts.end(),
                             [](const QString& t) { return t.startsWith("The update replaced"); });
    };
    ASSERT_EQ(offers(), 1);
    page->Engine()->reject();
    EXPECT_EQ(offers(), 1);
}

} // namespace
