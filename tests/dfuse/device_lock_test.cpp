// Device locks: one writer per device across processes, shared within one, in a folder nobody else controls.

#include "dfuse/device_lock.h"
#include "dfuse_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace nemora::dfuse;
using namespace std::chrono_literals;
using Outcome = DeviceLock::Outcome;

std::string ReadText(const std::filesystem::path& path)
{
    std::string text;
    std::getline(std::ifstream(path), text);
    return text;
}

// Every test gets a lock folder of its own, and the environment back afterwards.
class DeviceLockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* before = std::getenv("NEMORA_LOCK_DIR")) {
            saved = before;
        }
        UseFolder(dir / "locks");
    }
    void TearDown() override
    {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        if (saved) {
            ::setenv("NEMORA_LOCK_DIR", saved->c_str(), 1);
        } else {
            ::unsetenv("NEMORA_LOCK_DIR");
        }
    }
    void UseFolder(const std::filesystem::path& folder) { ::setenv("NEMORA_LOCK_DIR", folder.c_str(), 1); }

    Outcome Take(DeviceLock& lock, std::chrono::milliseconds wait = 0ms)
    {
        holder = {};
        error.clear();
        return DeviceLock::Acquire(key, wait, lock, holder, error);
    }
    // A child process that takes the lock, says so through a pipe and holds it until it is killed.
    bool StartHolder()
    {
        int fds[2];
        if (::pipe(fds) != 0) {
            return false;
        }
        child = ::fork();
        if (child == 0) {
            DeviceLock lock;
            const char taken = Take(lock) == Outcome::Taken ? 'T' : 'F';
            while (::write(fds[1], &taken, 1) == 1) {
                ::pause(); // until killed
            }
            std::_Exit(1);
        }
        ::close(fds[1]);
        char taken = 0;
        const bool told = ::read(fds[0], &taken, 1) == 1 && taken == 'T';
        ::close(fds[0]);
        return told;
    }
    void KillHolder()
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        child = 0;
    }
    // What a fresh process gets, right now, when it asks for the lock.
    Outcome InAnotherProcess()
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            DeviceLock lock;
            std::_Exit(static_cast<int>(Take(lock)));
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? static_cast<Outcome>(WEXITSTATUS(status)) : Outcome::Failed;
    }

    dfuse_test::ScratchDir dir;
    std::optional<std::string> saved;
    std::string key = DeviceLockKey("NS-001", ""), error;
    LockHolder holder;
    pid_t child = 0;
};

TEST_F(DeviceLockTest, AnotherProcessesLockIsBusyWithItsHolderUntilItDiesThenTaken)
{
    ASSERT_TRUE(StartHolder());
    DeviceLock lock;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Take(lock, 120ms), Outcome::Busy);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 120ms);
    EXPECT_FALSE(lock.Held());
    EXPECT_EQ(holder.pid, child);
    EXPECT_EQ(holder.program, program_invocation_short_name);
    EXPECT_EQ(DescribeHolder(holder), holder.program + " (process " + std::to_string(child) + ")");

    // A file that does not say who holds it still refuses.
    const std::filesystem::path file = dir / "locks" / (key + ".lock");
    std::ofstream(file) << "garbage\n";
    EXPECT_EQ(Take(lock), Outcome::Busy);
    EXPECT_EQ(DescribeHolder(holder), "another program");

    // The holder dies while we wait: the kernel's release lets the waiting Acquire in.
    std::thread killer([this] {
        std::this_thread::sleep_for(100ms);
        KillHolder();
    });
    EXPECT_EQ(Take(lock, 5000ms), Outcome::Taken) << error;
    killer.join();
    EXPECT_TRUE(lock.Held());
    EXPECT_EQ(ReadText(file), std::to_string(::getpid()) + " " + program_invocation_short_name);
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0600));
}

TEST_F(DeviceLockTest, HoldersInOneProcessShareItUntilTheLastLetsGo)
{
    DeviceLock first, second;
    ASSERT_EQ(Take(first), Outcome::Taken) << error;
    ASSERT_EQ(Take(second), Outcome::Taken) << error; // at once, not after the wait
    EXPECT_EQ(InAnotherProcess(), Outcome::Busy);
    first.Release();
    first.Release(); // a second release is not another share's
    EXPECT_EQ(InAnotherProcess(), Outcome::Busy);
    DeviceLock moved = std::move(second);
    second.Release();
    EXPECT_TRUE(moved.Held());
    EXPECT_EQ(InAnotherProcess(), Outcome::Busy);
    moved.Release();
    EXPECT_EQ(InAnotherProcess(), Outcome::Taken);
    EXPECT_TRUE(std::filesystem::exists(dir / "locks" / (key + ".lock"))); // kept: deleting races with flock
}

TEST_F(DeviceLockTest, ALockFileThatIsASymlinkIsNeverFollowed)
{
    std::filesystem::create_directories(dir / "locks");
    std::filesystem::create_symlink(dir / "target", dir / "locks" / (key + ".lock"));
    DeviceLock lock;
    EXPECT_EQ(Take(lock), Outcome::Failed);
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));
}

// Lock folders: how each is arranged, and what LockFolder says of it ("" when it takes it).
struct FolderCase {
    const char* name;
    bool (*arrange)(const std::filesystem::path& folder);
    const char* refusal;
};
void PrintTo(const FolderCase& folderCase, std::ostream* out)
{
    *out << folderCase.name;
}

class LockFolders : public DeviceLockTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(LockFolders, AreMadePrivateOrRefused)
{
    const std::filesystem::path folder = dir / "a" / "locks";
    if (!GetParam().arrange(folder)) {
        GTEST_SKIP() << "cannot be arranged by this user";
    }
    UseFolder(folder);
    const auto found = LockFolder(error);
    if (GetParam().refusal[0] == '\0') {
        ASSERT_TRUE(found) << error;
        EXPECT_EQ(*found, folder);
        EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
        return;
    }
    EXPECT_FALSE(found);
    EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().refusal), std::string::npos) << error;
    EXPECT_NE(error.find("NEMORA_LOCK_DIR"), std::string::npos) << error;
    DeviceLock lock;
    EXPECT_EQ(Take(lock), Outcome::Failed);
}

INSTANTIATE_TEST_SUITE_P(All, LockFolders,
                         ::testing::Values(FolderCase{"Missing", [](const std::filesystem::path&) { return true; }, ""},
                                           FolderCase{"OpenToOthers",
                                                      [](const std::filesystem::path& f) {
                                                          return std::filesystem::create_directories(f) &&
                                                                 ::chmod(f.c_str(), 0777) == 0;
                                                      },
                                                      ""},
                                           FolderCase{"Symlink",
                                                      [](const std::filesystem::path& f) {
                                                          std::filesystem::create_directories(f.parent_path() / "real");
                                                          std::filesystem::create_symlink(f.parent_path() / "real", f);
                                                          return true;
                                                      },
                                                      "symbolic link"},
                                           FolderCase{"ForeignOwner",
                                                      [](const std::filesystem::path& f) {
                                                          return std::filesystem::create_directories(f) &&
                                                                 ::chown(f.c_str(), 4242, 4242) == 0;
                                                      },
                                                      "another user"},
                                           FolderCase{"NotAFolder",
                                                      [](const std::filesystem::path& f) {
                                                          std::filesystem::create_directories(f.parent_path());
                                                          return static_cast<bool>(std::ofstream(f) << "x");
                                                      },
                                                      "not a folder"}),
                         [](const ::testing::TestParamInfo<FolderCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(DeviceLockKey, NamesTheSerialOrElseThePathSafelyAndKeepsLookalikesApart)
{
    const std::string serial = DeviceLockKey("NS-001", "USB:1-1:X");
    EXPECT_EQ(serial.substr(0, 7), "NS-001-");
    EXPECT_EQ(serial.size(), 7u + 8u);
    const std::string path = DeviceLockKey("", "usb:3-1.4:vid_0483&pid_df11#{3fe8}");
    EXPECT_EQ(path.substr(0, 35), "USB_3-1.4_VID_0483_PID_DF11__3FE8_-");
    EXPECT_EQ(path, DeviceLockKey("", "USB:3-1.4:VID_0483&PID_DF11#{3FE8}"));
    EXPECT_NE(DeviceLockKey("A/B", ""), DeviceLockKey("A:B", ""));
    EXPECT_NE(DeviceLockKey("A_B", ""), DeviceLockKey("", "A_B"));
    for (const std::string& key :
         {DeviceLockKey("..", ""), DeviceLockKey("", ""), DeviceLockKey(std::string(300, 'x'), "")}) {
        EXPECT_TRUE(!key.empty() && key != ".." && key.size() < 100 && key.find('/') == std::string::npos) << key;
    }
}

} // namespace
