// A write cut short, told of when its device arrives: written again from the same file and verified, or
// not offered for writing again once the file has changed.

#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfu_file.h"
#include "dfuse/write_journal.h"
#include "firmware/page_update.h"
#include "settings/settings_file.h"
#include "sim_frame_fixture.h"

#include "qt_test_util.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfuse;

struct CutShort : SimFrameFixture {
    std::filesystem::path folder;

    void SetUp() override
    {
        std::string error;
        const auto transfer = nemora::settings::TransferFolder(error);
        ASSERT_TRUE(transfer) << error;
        folder = *transfer;
        std::filesystem::remove(folder / kWritesFileName);
        SimFrameFixture::SetUp();
    }
    void TearDown() override { std::filesystem::remove(folder / kWritesFileName); }

    // The record a flash of demo.vek unplugged halfway leaves; `hash` empty: the file's own.
    void KeepCutShortWrite(const std::string& hash = {})
    {
        const std::string file = dir.filePath("demo.vek").toStdString();
        ASSERT_FALSE(WriteDfuFile(
            file, DfuFile{0x0483,
                          0xDF11,
                          0x004C,
                          {Image{0, "fw", {Element{0x08000000, std::vector<std::uint8_t>(4096, 0x5A)}}}}}));
        WriteRecord record;
        record.program = "nemora-cli";
        record.model = "Product 01";
        record.vid = 0x0483;
        record.pid = 0xDF11;
        record.bcd = 0x004C;
        record.serial = "M001";
        record.title = "firmware update";
        record.detail = "demo.vek";
        record.file = file;
        record.hash = hash.empty() ? HashOfFile(file) : hash;
        std::string error;
        ASSERT_TRUE(KeepWrite(folder, record, error)) << error;
    }
    // Plugs the device and answers the offer with the button, keeping the offer's words.
    QString Arrive(const QString& button)
    {
        QString words;
        OnNextModal([&words, button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            words = box ? box->text() + "\n" + box->informativeText() : QString("not an offer");
            ClickButton(modal, button);
        });
        Plug("serial=M001,bcd=0x004C");
        frame->OnDeviceChange();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !words.isEmpty(); }, 5000));
        return words;
    }
    bool LogHas(const QString& text) const { return !frame->LogList()->findItems(text, Qt::MatchContains).isEmpty(); }
};

TEST_F(CutShort, ItIsOfferedOnArrivalAndWrittenAgain)
{
    KeepCutShortWrite();
    const QString words = Arrive("Write it again");
    EXPECT_TRUE(words.startsWith("The firmware update of Product 01 was cut short on ")) << words.toStdString();
    EXPECT_TRUE(words.contains("(demo.vek).")) << words.toStdString();

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return frame->UpdatePage()->Engine() && frame->UpdatePage()->Engine()->LastVerified(); }, 15000));
    CDfuUpdate* engine = frame->UpdatePage()->Engine();
    EXPECT_TRUE(engine->ProgressBar()->GetWindowText().contains("Verify successful !"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogHas("Written and verified: "); }, 5000));
    EXPECT_TRUE(engine->DetailLabel()->text().startsWith("Written and verified: "));
    EXPECT_TRUE(CutShortWrites(ReadWrites(folder)).empty()) << "the write again finished the one cut short";
}

TEST_F(CutShort, AFileChangedSinceIsNotOfferedForWritingAgain)
{
    KeepCutShortWrite(std::string(64, '0'));
    const QString words = Arrive("Not now");
    EXPECT_TRUE(words.contains("has changed since")) << words.toStdString();
    EXPECT_TRUE(words.contains("so it cannot be written again")) << words.toStdString();
    EXPECT_TRUE(LogHas("Not finished now"));
    EXPECT_EQ(CutShortWrites(ReadWrites(folder)).size(), 1u) << "still there for the next time";
    EXPECT_FALSE(frame->UpdatePage()->Engine());
}

} // namespace
