#include "app/launch_counter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nemora::app;

class LaunchCounterTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("nemora-launch-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::vector<std::uint8_t> Bytes() const
    {
        std::ifstream in(m_dir / kMagicFileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void Write(std::vector<std::uint8_t> bytes) const
    {
        fs::create_directories(m_dir);
        std::ofstream out(m_dir / kMagicFileName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path m_dir;
};

TEST_F(LaunchCounterTest, FirstRunCreatesTheFileThenTheCheckMarksItOnce)
{
    const LaunchCount c = CountLaunch(m_dir / "nested");
    m_dir /= "nested";
    EXPECT_TRUE(c.fileOk);
    EXPECT_TRUE(c.resetLayout);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(CheckFirstRun(m_dir), FirstRunCheck::Due);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{7, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(CheckFirstRun(m_dir), FirstRunCheck::NotDue);

    const LaunchCount second = CountLaunch(m_dir);
    EXPECT_FALSE(second.resetLayout);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{7, 0, 0, 0, 2, 0, 0, 0}));
}

TEST_F(LaunchCounterTest, CountSaturatesAtTwoHundred)
{
    for (auto [stored, expected] : {std::pair{199, 200}, std::pair{200, 200}, std::pair{500, 200}}) {
        Write({7, 0, 0, 0, static_cast<std::uint8_t>(stored), static_cast<std::uint8_t>(stored >> 8), 0, 0});
        EXPECT_EQ(CountLaunch(m_dir).launchCount, expected) << stored;
        EXPECT_EQ(Bytes()[4], expected);
        EXPECT_EQ(Bytes()[5], 0);
    }
    Write({7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}); // INT32_MAX must not overflow
    EXPECT_EQ(CountLaunch(m_dir).launchCount, 200);
}

TEST_F(LaunchCounterTest, ShortFilesReadMissingWordsAsZero)
{
    Write({7, 0, 0, 0});
    const LaunchCount c = CountLaunch(m_dir);
    EXPECT_FALSE(c.resetLayout);
    EXPECT_EQ(Bytes(), (std::vector<std::uint8_t>{7, 0, 0, 0, 1, 0, 0, 0}));

    Write({7, 0});
    const LaunchCount partial = CountLaunch(m_dir);
    EXPECT_TRUE(partial.resetLayout); // a marker the file cannot hold reads as 0
    EXPECT_EQ(partial.launchCount, 1);
}

TEST_F(LaunchCounterTest, StartUpTestsBelowSevenAndTheCheckTestsNotSeven)
{
    Write({8, 0, 0, 0, 3, 0, 0, 0});
    EXPECT_FALSE(CountLaunch(m_dir).resetLayout);
    EXPECT_EQ(CheckFirstRun(m_dir), FirstRunCheck::Due);
    EXPECT_EQ(Bytes()[0], 7);

    Write({0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}); // -1 is below 7
    EXPECT_TRUE(CountLaunch(m_dir).resetLayout);
}

TEST_F(LaunchCounterTest, CheckNeverCreatesTheFileAndUnreachableFoldersAreReported)
{
    EXPECT_EQ(CheckFirstRun(m_dir), FirstRunCheck::CannotAccess);
    EXPECT_FALSE(fs::exists(m_dir / kMagicFileName));

    // A folder path that is a regular file cannot hold the counter.
    fs::create_directories(m_dir);
    std::ofstream(m_dir / "blocker") << "x";
    const LaunchCount c = CountLaunch(m_dir / "blocker");
    EXPECT_FALSE(c.fileOk);
    EXPECT_FALSE(c.resetLayout);
    EXPECT_EQ(CheckFirstRun(m_dir / "blocker"), FirstRunCheck::CannotAccess);
}

} // namespace
