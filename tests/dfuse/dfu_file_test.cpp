#include "dfuse/dfu_file.h"
#include "dfuse_test_util.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using namespace nemora::dfuse;
using dfuse_test::Bytes;
using dfuse_test::SampleFile;

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Makes the size field and the CRC fit the bytes again, so that a damaged structure is what the parser
// meets, not a damaged CRC.
void Reseal(std::vector<std::uint8_t>& b)
{
    if (b.size() >= 10 + kSuffixSize)
        Put32(b, 6, static_cast<std::uint32_t>(b.size() - kSuffixSize));
    Put32(b, b.size() - 4, DfuCrc(std::span(b).first(b.size() - 4)));
}

TEST(DfuCrc, MatchesTheVectorsDfuUtilUses)
{
    const std::string digits = "123456789";
    EXPECT_EQ(DfuCrc({reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()}), 0x340BC6D9u);
    std::vector<std::uint8_t> hello = {'h',  'e',  'l',  'l',  'o',  ' ',  'w',  'o', 'r', 'l', 'd', 0xFF,
                                       0xFF, 0x11, 0xDF, 0x83, 0x04, 0x1A, 0x01, 'U', 'F', 'D', 16};
    EXPECT_EQ(DfuCrc(hello), 0xF3A1F644u);
}

TEST(DfuFileFormat, WritesTheWorkedExampleByteForByte)
{
    DfuFile file{0x0483, 0xDF11, 0xFFFF, {}};
    file.images.push_back(
        Image{0, "Internal Flash", {Element{0x08000000, {0x00, 0x50, 0x00, 0x20, 0xC1, 0x00, 0x00, 0x08}}}});
    const std::vector<std::uint8_t> bytes = Bytes(file);
    ASSERT_EQ(bytes.size(), 317u);
    const std::vector<std::uint8_t> head = {'D', 'f', 'u', 'S', 'e', 1, 0x2D, 0x01, 0, 0, 1,  'T',
                                            'a', 'r', 'g', 'e', 't', 0, 1,    0,    0, 0, 'I'};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    const std::vector<std::uint8_t> tail = {0x10, 0,    0,    0,    1,    0,    0,    0,    0,    0,
                                            0,    0x08, 0x08, 0,    0,    0,    0x00, 0x50, 0x00, 0x20,
                                            0xC1, 0x00, 0x00, 0x08, 0xFF, 0xFF, 0x11, 0xDF, 0x83, 0x04,
                                            0x1A, 0x01, 'U',  'F',  'D',  0x10, 0xCB, 0xDA, 0xF2, 0xE1};
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<std::ptrdiff_t>(tail.size())));
}

TEST(DfuFileFormat, RoundTripGivesIdenticalValuesAndBytes)
{
    const DfuFile original = SampleFile();
    const std::vector<std::uint8_t> bytes = Bytes(original);
    const ParseResult parsed = ParseDfuFile(bytes);
    ASSERT_TRUE(parsed.file) << parsed.error.message;
    EXPECT_TRUE(parsed.crcOk);
    EXPECT_EQ(*parsed.file, original);
    EXPECT_EQ(parsed.file->images[0].name, "Internal Flash  "); // trailing blanks survive
    EXPECT_EQ(Bytes(*parsed.file), bytes);
}

TEST(DfuFileFormat, AcceptsBothImageSizeConventions)
{
    std::vector<std::uint8_t> bytes = Bytes(SampleFile());
    Put32(bytes, 6, static_cast<std::uint32_t>(bytes.size())); // suffix counted, as dfuse-pack writes
    Put32(bytes, bytes.size() - 4, DfuCrc(std::span(bytes).first(bytes.size() - 4)));
    EXPECT_TRUE(ParseDfuFile(bytes).file);
}

TEST(DfuFileFormat, WrongCrcIsReportedButCanBeInspected)
{
    std::vector<std::uint8_t> bytes = Bytes(SampleFile());
    bytes[400] ^= 0x01;
    const ParseResult strict = ParseDfuFile(bytes);
    EXPECT_EQ(strict.error.code, FileError::BadCrc);
    EXPECT_FALSE(strict.file);
    const ParseResult lenient = ParseDfuFile(bytes, false);
    ASSERT_TRUE(lenient.file);
    EXPECT_FALSE(lenient.crcOk);
}

TEST(DfuFileFormat, RefusesWhatCannotBeWritten)
{
    DfuFile tooMany;
    tooMany.images.resize(256);
    std::vector<std::uint8_t> out;
    EXPECT_EQ(SerializeDfuFile(tooMany, out).code, FileError::TooManyImages);
    DfuFile longName;
    longName.images.push_back(Image{0, std::string(255, 'n'), {}});
    EXPECT_EQ(SerializeDfuFile(longName, out).code, FileError::BadParameter);
    longName.images[0].name.pop_back(); // 254 fits with its NUL
    EXPECT_FALSE(SerializeDfuFile(longName, out));
    EXPECT_EQ(ParseDfuFile(out).file->images[0].name.size(), 254u);
}

struct BadInput {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    FileError expected;
};

// Offsets in the sample: prefix 0..10, image 0 at 11 (name at 22, size at 277, count at 281), its first
// element header at 285.
const std::vector<BadInput> kBadInputs = {
    {"Empty", [](auto& b) { b.clear(); }, FileError::SuffixTooShort},
    {"FifteenBytes", [](auto& b) { b.resize(15); }, FileError::SuffixTooShort},
    {"SuffixLengthBelow16",
     [](auto& b) {
         b[b.size() - 5] = 15;
         Reseal(b);
     },
     FileError::SuffixTooShort},
    {"SuffixLengthBeyondFile",
     [](auto& b) {
         b = std::vector<std::uint8_t>(b.end() - 16, b.end());
         b[11] = 200;
         Reseal(b);
     },
     FileError::BadSuffixLength},
    {"NoUfd",
     [](auto& b) {
         b[b.size() - 8] = 'X';
         Reseal(b);
     },
     FileError::BadSuffixSignature},
    {"PlainDfuVersion",
     [](auto& b) {
         b[b.size() - 10] = 0x00;
         Reseal(b);
     },
     FileError::BadSuffixVersion},
    {"WrongCrc", [](auto& b) { b[b.size() - 1] ^= 0x80; }, FileError::BadCrc},
    {"DamagedData", [](auto& b) { b[300] ^= 0x10; }, FileError::BadCrc},
    {"TruncatedPrefix",
     [](auto& b) {
         b.erase(b.begin() + 5, b.end() - 16);
         Reseal(b);
     },
     FileError::TruncatedPrefix},
    {"PrefixSignature",
     [](auto& b) {
         b[4] = 'x';
         Reseal(b);
     },
     FileError::BadPrefixSignature},
    {"PrefixVersion",
     [](auto& b) {
         b[5] = 2;
         Reseal(b);
     },
     FileError::BadPrefixVersion},
    {"PrefixSizeField",
     [](auto& b) {
         Put32(b, 6, 12345);
         Put32(b, b.size() - 4, DfuCrc(std::span(b).first(b.size() - 4)));
     },
     FileError::ImageSizeMismatch},
    {"MoreImagesThanPresent",
     [](auto& b) {
         b[10] = 4;
         Reseal(b);
     },
     FileError::TruncatedImage},
    {"ImageCutInItsPrefix",
     [](auto& b) {
         b.erase(b.begin() + 100, b.end() - 16);
         Reseal(b);
     },
     FileError::TruncatedImage},
    {"ImageSignature",
     [](auto& b) {
         b[11] = 't';
         Reseal(b);
     },
     FileError::BadImageSignature},
    {"NameWithoutNul",
     [](auto& b) {
         std::fill(b.begin() + 22, b.begin() + 22 + 255, 'A');
         Reseal(b);
     },
     FileError::NameNotTerminated},
    {"ImageSizeBeyondData",
     [](auto& b) {
         Put32(b, 277, 0x7FFFFFFF);
         Reseal(b);
     },
     FileError::TruncatedImage},
    {"ElementCountHuge",
     [](auto& b) {
         Put32(b, 281, 0xFFFFFFFF);
         Reseal(b);
     },
     FileError::ElementSizeMismatch},
    {"ElementCountTooSmall",
     [](auto& b) {
         Put32(b, 281, 1);
         Reseal(b);
     },
     FileError::ElementSizeMismatch},
    {"ElementSizeAllOnes",
     [](auto& b) {
         Put32(b, 289, 0xFFFFFFFF);
         Reseal(b);
     },
     FileError::TruncatedElement},
    {"ImageSizeShortOfElements",
     [](auto& b) {
         Put32(b, 277, 8 + 8 + 8 + 2999);
         Reseal(b);
     },
     FileError::TruncatedElement},
    {"BytesAfterLastImage",
     [](auto& b) {
         b[10] = 2;
         Reseal(b);
     },
     FileError::TrailingData},
};

void PrintTo(const BadInput& input, std::ostream* os)
{
    *os << input.name;
}

class DfuFileBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(DfuFileBadInput, IsRefusedWithItsOwnCode)
{
    std::vector<std::uint8_t> bytes = Bytes(SampleFile());
    GetParam().damage(bytes);
    const ParseResult r = ParseDfuFile(bytes);
    EXPECT_FALSE(r.file);
    EXPECT_EQ(r.error.code, GetParam().expected) << r.error.message;
    EXPECT_FALSE(r.error.message.empty());
    EXPECT_EQ(FileErrorFromCode(ErrorCode(r.error.code)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Samples, DfuFileBadInput, ::testing::ValuesIn(kBadInputs),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(DfuFileFormat, EveryTruncationIsRefusedWithoutCrashing)
{
    const std::vector<std::uint8_t> bytes = Bytes(SampleFile());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ParseDfuFile(cut, false).file) << length;
    }
}

class DfuFileWrite : public ::testing::Test {
protected:
    dfuse_test::ScratchDir dir;
};

TEST_F(DfuFileWrite, WritesAndReadsBackLeavingNoTemporaryFile)
{
    const auto path = dir / "fw.vek";
    ASSERT_FALSE(WriteDfuFile(path, SampleFile()));
    const ParseResult r = ReadDfuFile(path);
    ASSERT_TRUE(r.file);
    EXPECT_EQ(*r.file, SampleFile());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(DfuFileWrite, FailedWriteLeavesTheOldFileUntouched)
{
    const auto path = dir / "fw.vek";
    const std::vector<std::uint8_t> old = {1, 2, 3};
    dfuse_test::WriteBytes(path, old);

    // A file size limit makes the write itself fail half way, even for root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    const Error e = WriteDfuFile(path, SampleFile());
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(e.code, FileError::WriteFailed);
    EXPECT_EQ(dfuse_test::ReadBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // no temporary left

    EXPECT_EQ(WriteDfuFile(dir / "missing" / "fw.vek", SampleFile()).code, FileError::WriteFailed);
    std::filesystem::create_directory(dir / "folder.vek");
    EXPECT_EQ(WriteDfuFile(dir / "folder.vek", SampleFile()).code, FileError::WriteFailed);
}

TEST_F(DfuFileWrite, ReadingNamesTheProblem)
{
    EXPECT_EQ(ReadDfuFile(dir / "absent.vek").error.code, FileError::ReadFailed);
    EXPECT_EQ(ReadDfuFile(dir.Path()).error.code, FileError::ReadFailed);
}

} // namespace
