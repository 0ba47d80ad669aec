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

// A suffix may be longer than 16 bytes: what comes before the standard 16 belongs to it, not to the images,
// and the size field may count the file with or without all of it.
TEST(DfuFileFormat, LongerSuffixIsPartOfTheSuffix)
{
    const DfuFile original = SampleFile();
    const std::vector<std::uint8_t> plain = Bytes(original);
    for (const std::uint32_t extra : {1u, 4u, 239u}) {
        std::vector<std::uint8_t> bytes = plain;
        bytes.insert(bytes.end() - kSuffixSize, extra, 0xEE); // vendor bytes ahead of the standard suffix
        const std::size_t length = kSuffixSize + extra;
        bytes[bytes.size() - 5] = static_cast<std::uint8_t>(length);
        for (const std::size_t sizeField : {bytes.size() - length, bytes.size()}) {
            Put32(bytes, 6, static_cast<std::uint32_t>(sizeField));
            Put32(bytes, bytes.size() - 4, DfuCrc(std::span(bytes).first(bytes.size() - 4)));
            const ParseResult parsed = ParseDfuFile(bytes);
            ASSERT_TRUE(parsed.file) << "suffix of " << length << " bytes, size field " << sizeField << ": "
                                     << parsed.error.message;
            EXPECT_EQ(*parsed.file, original);
            EXPECT_EQ(Bytes(*parsed.file), plain); // written back with the standard suffix
        }
    }
    // A length field that takes bytes of the last image leaves that image short.
    std::vector<std::uint8_t> greedy = plain;
    greedy[greedy.size() - 5] = 20;
    Put32(greedy, 6, static_cast<std::uint32_t>(greedy.size() - 20));
    Put32(greedy, greedy.size() - 4, DfuCrc(std::span(greedy).first(greedy.size() - 4)));
    const ParseResult cut = ParseDfuFile(greedy);
    EXPECT_FALSE(cut.file);
    EXPECT_EQ(cut.error.code, FileError::TruncatedImage) << cut.error.message;
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
using Damage = std::function<void(std::vector<std::uint8_t>&)>;

std::size_t Where(const std::vector<std::uint8_t>& b, std::ptrdiff_t at)
{
    return at < 0 ? b.size() - static_cast<std::size_t>(-at) : static_cast<std::size_t>(at);
}

// Damages that keep the CRC (and the prefix size field) consistent with the new bytes.
Damage Byte(std::ptrdiff_t at, std::uint8_t value)
{
    return [=](auto& b) {
        b[Where(b, at)] = value;
        Reseal(b);
    };
}
Damage Word(std::size_t at, std::uint32_t value)
{
    return [=](auto& b) {
        Put32(b, at, value);
        Reseal(b);
    };
}
Damage Cut(std::size_t from, std::size_t keepAtEnd)
{
    return [=](auto& b) {
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(from), b.end() - static_cast<std::ptrdiff_t>(keepAtEnd));
        Reseal(b);
    };
}

const std::vector<BadInput> kBadInputs = {
    {"Empty", [](auto& b) { b.clear(); }, FileError::SuffixTooShort},
    {"FifteenBytes", [](auto& b) { b.resize(15); }, FileError::SuffixTooShort},
    {"SuffixLengthBelow16", Byte(-5, 15), FileError::SuffixTooShort},
    {"SuffixLengthBeyondFile",
     [](auto& b) {
         Cut(0, 16)(b); // the suffix alone
         Byte(11, 200)(b);
     },
     FileError::BadSuffixLength},
    {"NoUfd", Byte(-8, 'X'), FileError::BadSuffixSignature},
    {"PlainDfuVersion", Byte(-10, 0x00), FileError::BadSuffixVersion},
    {"WrongCrc", [](auto& b) { b[b.size() - 1] ^= 0x80; }, FileError::BadCrc},
    {"DamagedData", [](auto& b) { b[300] ^= 0x10; }, FileError::BadCrc},
    {"TruncatedPrefix", Cut(5, 16), FileError::TruncatedPrefix},
    {"PrefixSignature", Byte(4, 'x'), FileError::BadPrefixSignature},
    {"PrefixVersion", Byte(5, 2), FileError::BadPrefixVersion},
    {"PrefixSizeField",
     [](auto& b) {
         Put32(b, 6, 12345);
         Put32(b, b.size() - 4, DfuCrc(std::span(b).first(b.size() - 4)));
     },
     FileError::ImageSizeMismatch},
    {"MoreImagesThanPresent", Byte(10, 4), FileError::TruncatedImage},
    {"ImageCutInItsPrefix", Cut(100, 16), FileError::TruncatedImage},
    {"ImageSignature", Byte(11, 't'), FileError::BadImageSignature},
    {"NameWithoutNul",
     [](auto& b) {
         std::fill(b.begin() + 22, b.begin() + 22 + 255, 'A');
         Reseal(b);
     },
     FileError::NameNotTerminated},
    {"ImageSizeBeyondData", Word(277, 0x7FFFFFFF), FileError::TruncatedImage},
    {"ElementCountHuge", Word(281, 0xFFFFFFFF), FileError::ElementSizeMismatch},
    {"ElementCountTooSmall", Word(281, 1), FileError::ElementSizeMismatch},
    {"ElementSizeAllOnes", Word(289, 0xFFFFFFFF), FileError::TruncatedElement},
    {"ImageSizeShortOfElements", Word(277, 8 + 8 + 8 + 2999), FileError::TruncatedElement},
    // The image ends 4 bytes into its second element's header.
    {"ElementHeaderCutShort", Word(277, 8 + 8 + 4), FileError::TruncatedElement},
    // The file itself ends inside that header: the image's size field runs past the data.
    {"FileEndsInAnElementHeader", Cut(285 + 16 + 4, 16), FileError::TruncatedImage},
    {"BytesAfterLastImage", Byte(10, 2), FileError::TrailingData},
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
