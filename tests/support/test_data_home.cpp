// Every test program, and every program it starts, keeps what the console writes into the user's data
// and state folders (the snapshots taken before writes, the outcomes of operations) in the build tree
// instead of the home folder.
//
// Device locks go into a folder of this test process's own, so that test cases running side by side never
// wait for each other's devices; a program the test starts inherits the folder and so shares the test's
// locks, as the console and nemora-cli share them in use. The process that named the folder removes it as
// it ends; one that inherited it, or a forked child, leaves it to its owner.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const bool kDataHomeSet = ::setenv("XDG_DATA_HOME", NEMORA_TEST_DATA_HOME, 1) == 0;
// The state folder too: the outcomes of the tests' operations are kept there.
const bool kStateHomeSet = ::setenv("XDG_STATE_HOME", NEMORA_TEST_DATA_HOME "/state", 1) == 0;

class OwnLockFolder {
public:
    OwnLockFolder()
    {
        if (std::getenv("NEMORA_LOCK_DIR") == nullptr) {
            m_folder = std::string(NEMORA_TEST_DATA_HOME "/locks-") + std::to_string(m_owner);
            ::setenv("NEMORA_LOCK_DIR", m_folder.c_str(), 0);
        }
    }
    ~OwnLockFolder()
    {
        if (!m_folder.empty() && ::getpid() == m_owner) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }

private:
    const pid_t m_owner = ::getpid();
    std::string m_folder;
};

const OwnLockFolder kLockFolder;

} // namespace
