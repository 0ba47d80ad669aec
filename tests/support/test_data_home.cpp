// Every test program, and every program it starts, keeps what the console writes into the user's data
// and state folders (the snapshots taken before writes, the outcomes of operations) in the build tree
// instead of the home folder.
//
// Device locks and the state folder go into folders of this test process's own, so that test cases running
// side by side never wait for each other's devices nor meet each other's writes cut short; a program the
// test starts inherits the folders and so shares the test's locks and records, as the console and
// nemora-cli share them in use. The process that named a folder removes it as it ends; one that inherited
// it, or a forked child, leaves it to its owner. The virtual devices' control file lies in such a folder
// too, so that a control file another program left in the temporary folder never unplugs a test's device.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const bool kDataHomeSet = ::setenv("XDG_DATA_HOME", NEMORA_TEST_DATA_HOME, 1) == 0;

// `variable` names a folder of this process's own, unless `inherited` says a parent test process named it.
class OwnFolder {
public:
    // With `file`, `variable` names that file in the folder.
    OwnFolder(const char* variable, const char* inherited, const char* prefix, const char* file = nullptr)
    {
        if (const char* given = std::getenv(inherited); given != nullptr) {
            ::setenv(variable, given, 1);
            return;
        }
        m_folder = std::string(NEMORA_TEST_DATA_HOME "/") + prefix + std::to_string(m_owner);
        std::string value = m_folder;
        if (file != nullptr) {
            std::error_code ignored;
            std::filesystem::create_directories(m_folder, ignored);
            value += std::string("/") + file;
        }
        ::setenv(variable, value.c_str(), 1);
        ::setenv(inherited, value.c_str(), 1);
    }
    ~OwnFolder()
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

const OwnFolder kLockFolder("NEMORA_LOCK_DIR", "NEMORA_TEST_LOCK_DIR", "locks-");
// The outcomes of the tests' operations and the records of their writes are kept here.
const OwnFolder kStateFolder("XDG_STATE_HOME", "NEMORA_TEST_STATE_DIR", "state-");
const OwnFolder kSimControl("NEMORA_SIM_CONTROL", "NEMORA_TEST_SIM_CONTROL", "sim-", "nemora-sim.control");

} // namespace
