// Every test program, and every program it starts, keeps what the console writes into the user's data
// folder (the snapshots taken before writes) in the build tree instead of the home folder.

#include <cstdlib>

namespace {

const bool kDataHomeSet = ::setenv("XDG_DATA_HOME", NEMORA_TEST_DATA_HOME, 1) == 0;

} // namespace
