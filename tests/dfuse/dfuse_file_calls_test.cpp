#include "dfuse/dfuse_file_calls.h"
#include "dfuse_test_util.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace nemora::dfuse;

std::uint32_t Code(FileError e)
{
    return ErrorCode(e);
}

class FileCalls : public ::testing::Test {
protected:
    void SetUp() override { m_handlesAtStart = files.OpenHandleCount(); }
    void TearDown() override { EXPECT_EQ(files.OpenHandleCount(), m_handlesAtStart) << "a handle leaked"; }

    DfuImageHandle MakeImage(std::uint8_t alternate, const char* name, std::vector<Element> elements)
    {
        DfuImageHandle image = nullptr;
        EXPECT_EQ(files.STDFUFILES_CreateImage(&image, alternate), STDFUFILES_NOERROR);
        EXPECT_EQ(files.STDFUFILES_SetImageName(image, name), STDFUFILES_NOERROR);
        for (std::uint32_t i = 0; i < elements.size(); ++i) {
            DfuElement e{elements[i].address, static_cast<std::uint32_t>(elements[i].data.size()),
                         elements[i].data.data()};
            EXPECT_EQ(files.STDFUFILES_SetImageElement(image, i, true, e), STDFUFILES_NOERROR);
        }
        return image;
    }

    dfuse_test::FileCallsOnly files;
    dfuse_test::ScratchDir dir;
    std::size_t m_handlesAtStart = 0;
};

TEST_F(FileCalls, CreateAppendCloseThenOpenAndReadInOrder)
{
    const std::string path = (dir / "param.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(files.STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x0483, 0xDF11, 0x03C5), STDFUFILES_NOERROR);
    DfuImageHandle logo = MakeImage(0, "user_log", {Element{0x08005000, std::vector<std::uint8_t>(64, 0x11)}});
    DfuImageHandle para = MakeImage(0, "user_para", {Element{0x0800F000, std::vector<std::uint8_t>(2048, 0x5A)}});
    EXPECT_EQ(files.STDFUFILES_AppendImageToDFUFile(file, logo), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_AppendImageToDFUFile(file, para), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_DestroyImage(logo), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_DestroyImage(para), STDFUFILES_NOERROR);

    std::uint16_t vid = 0, pid = 0, bcd = 0;
    std::uint8_t count = 0;
    ASSERT_EQ(files.STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, &vid, &pid, &bcd, &count), STDFUFILES_NOERROR);
    EXPECT_EQ(vid, 0x0483);
    EXPECT_EQ(pid, 0xDF11);
    EXPECT_EQ(bcd, 0x03C5);
    EXPECT_EQ(count, 2);
    const char* expected[] = {"user_log", "user_para"};
    for (int i = 0; i < 2; ++i) {
        DfuImageHandle image = nullptr;
        ASSERT_EQ(files.STDFUFILES_ReadImageFromDFUFile(file, i, &image), STDFUFILES_NOERROR);
        std::string name;
        EXPECT_EQ(files.STDFUFILES_GetImageName(image, &name), STDFUFILES_NOERROR);
        EXPECT_EQ(name, expected[i]);
        std::uint32_t size = 0;
        EXPECT_EQ(files.STDFUFILES_GetImageSize(image, &size), STDFUFILES_NOERROR);
        EXPECT_EQ(size, i == 0 ? 64u : 2048u);
        files.STDFUFILES_DestroyImage(image);
    }
    DfuImageHandle none = nullptr;
    EXPECT_EQ(files.STDFUFILES_ReadImageFromDFUFile(file, 2, &none), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(files.STDFUFILES_ReadImageFromDFUFile(file, -1, &none), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(files.STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    // Only the image count is wanted: the other outputs may be null.
    ASSERT_EQ(files.STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, &count),
              STDFUFILES_NOERROR);
    files.STDFUFILES_CloseDFUFile(file);
}

TEST_F(FileCalls, ElementsAreReadInTwoStepsAndInsertedAtTheirIndex)
{
    DfuImageHandle image = MakeImage(0, "param", {Element{0x2000, {3, 3}}});
    std::vector<std::uint8_t> first = {1, 1, 1, 1};
    std::vector<std::uint8_t> middle = {2};
    ASSERT_EQ(files.STDFUFILES_SetImageElement(image, 0, true, DfuElement{0x1000, 4, first.data()}),
              STDFUFILES_NOERROR);
    ASSERT_EQ(files.STDFUFILES_SetImageElement(image, 1, true, DfuElement{0x1800, 1, middle.data()}),
              STDFUFILES_NOERROR);
    first[0] = 9; // the image holds its own copy

    std::uint32_t count = 0;
    ASSERT_EQ(files.STDFUFILES_GetImageNbElement(image, &count), STDFUFILES_NOERROR);
    ASSERT_EQ(count, 3u);
    const std::uint32_t addresses[] = {0x1000, 0x1800, 0x2000};
    const std::vector<std::uint8_t> contents[] = {{1, 1, 1, 1}, {2}, {3, 3}};
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement e{}; // step one: no buffer, address and length only
        ASSERT_EQ(files.STDFUFILES_GetImageElement(image, i, &e), STDFUFILES_NOERROR);
        EXPECT_EQ(e.dwAddress, addresses[i]);
        std::vector<std::uint8_t> buffer(e.dwDataLength, 0);
        e.Data = buffer.data(); // step two: into the caller's buffer
        ASSERT_EQ(files.STDFUFILES_GetImageElement(image, i, &e), STDFUFILES_NOERROR);
        EXPECT_EQ(buffer, contents[i]);
    }

    std::uint8_t small[1] = {0x77};
    DfuElement shortBuffer{0, 1, small};
    EXPECT_EQ(files.STDFUFILES_GetImageElement(image, 0, &shortBuffer), Code(FileError::BufferTooSmall));
    EXPECT_EQ(shortBuffer.dwDataLength, 4u); // what is needed
    EXPECT_EQ(small[0], 0x77);               // nothing written past the caller's buffer

    DfuElement replacement{0x3000, 1, middle.data()};
    EXPECT_EQ(files.STDFUFILES_SetImageElement(image, 2, false, replacement), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_SetImageElement(image, 3, false, replacement), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(files.STDFUFILES_SetImageElement(image, 4, true, replacement), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(files.STDFUFILES_SetImageElement(image, 0, true, DfuElement{0, 5, nullptr}),
              Code(FileError::BadParameter));
    DfuElement beyond{};
    EXPECT_EQ(files.STDFUFILES_GetImageElement(image, 3, &beyond), Code(FileError::IndexOutOfRange));
    files.STDFUFILES_DestroyImage(image);
}

TEST_F(FileCalls, NamesAlternatesAndDuplicates)
{
    DfuImageHandle image = MakeImage(1, "Option Bytes  ", {Element{0x1FFFF800, {0xAA, 0x55}}});
    EXPECT_EQ(files.STDFUFILES_SetImageName(image, std::string(255, 'x')), Code(FileError::BadParameter));
    EXPECT_EQ(files.STDFUFILES_SetImageName(image, std::string("in\0side", 7)), Code(FileError::BadParameter));
    DfuImageHandle copy = nullptr;
    ASSERT_EQ(files.STDFUFILES_DuplicateImage(image, &copy), STDFUFILES_NOERROR);
    EXPECT_NE(copy, image);
    EXPECT_EQ(files.STDFUFILES_SetImageName(image, "changed"), STDFUFILES_NOERROR);
    std::string name;
    files.STDFUFILES_GetImageName(copy, &name);
    EXPECT_EQ(name, "Option Bytes  "); // the copy is independent and keeps the trailing blanks
    std::uint8_t alternate = 0;
    EXPECT_EQ(files.STDFUFILES_GetImageAlternate(copy, &alternate), STDFUFILES_NOERROR);
    EXPECT_EQ(alternate, 1);
    EXPECT_EQ(files.CopyImage(copy)->elements, files.CopyImage(image)->elements);
    files.STDFUFILES_DestroyImage(copy);
    files.STDFUFILES_DestroyImage(image);
}

// A name a file cannot hold never gets behind a handle, whichever way it comes in, so reading a name back
// always gives it whole.
TEST_F(FileCalls, NamesOfAnyLengthAreKeptWholeOrRefused)
{
    DfuImageHandle kept = files.AdoptImage(Image{0, "kept", {}});
    ASSERT_NE(kept, nullptr);
    for (const std::size_t length :
         {kMaxImageNameLength, kMaxImageNameLength + 1, std::size_t{300}, std::size_t{70000}}) {
        const std::string longName(length, 'n');
        const bool fits = length <= kMaxImageNameLength;
        DfuImageHandle adopted = files.AdoptImage(Image{0, longName, {}});
        EXPECT_EQ(adopted != nullptr, fits) << length;
        EXPECT_EQ(files.ReplaceImage(kept, Image{0, longName, {}}), fits) << length;
        std::string name;
        ASSERT_EQ(files.STDFUFILES_GetImageName(fits ? adopted : kept, &name), STDFUFILES_NOERROR);
        EXPECT_EQ(name, fits ? longName : "kept") << length;
        EXPECT_EQ(files.STDFUFILES_SetImageName(kept, longName),
                  fits ? STDFUFILES_NOERROR : Code(FileError::BadParameter));
        if (adopted != nullptr)
            files.STDFUFILES_DestroyImage(adopted);
        files.ReplaceImage(kept, Image{0, "kept", {}});
    }
    EXPECT_EQ(files.AdoptImage(Image{0, std::string("a\0b", 3), {}}), nullptr);
    files.STDFUFILES_DestroyImage(kept);
}

// Each library object has its own handles: closing one leaves nothing of it behind in another.
TEST_F(FileCalls, HandlesBelongToTheirObject)
{
    DfuImageHandle image = nullptr;
    {
        dfuse_test::FileCallsOnly other;
        ASSERT_EQ(other.STDFUFILES_CreateImage(&image, 3), STDFUFILES_NOERROR);
        EXPECT_EQ(other.OpenHandleCount(), 1u);
    }
    std::uint8_t alternate = 0;
    EXPECT_EQ(files.STDFUFILES_GetImageAlternate(image, &alternate), Code(FileError::BadHandle));
}

TEST_F(FileCalls, StaleForgedAndMixedHandlesAreRefused)
{
    DfuImageHandle image = nullptr;
    files.STDFUFILES_CreateImage(&image, 0);
    files.STDFUFILES_DestroyImage(image);
    std::uint32_t n = 0;
    EXPECT_EQ(files.STDFUFILES_GetImageNbElement(image, &n), Code(FileError::BadHandle));
    EXPECT_EQ(files.STDFUFILES_DestroyImage(image), Code(FileError::BadHandle));
    EXPECT_EQ(files.STDFUFILES_GetImageNbElement(reinterpret_cast<DfuImageHandle>(0x12345678), &n),
              Code(FileError::BadHandle));

    const std::string path = (dir / "f.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(files.STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 1, 2, 3), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_GetImageNbElement(reinterpret_cast<DfuImageHandle>(file), &n),
              Code(FileError::BadHandle));
    EXPECT_EQ(files.STDFUFILES_GetImageNbElement(image, nullptr), Code(FileError::BadParameter));
    EXPECT_EQ(files.STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    EXPECT_EQ(files.STDFUFILES_CloseDFUFile(file), Code(FileError::BadHandle));
}

TEST_F(FileCalls, DamagedFilesAreRefusedOnOpen)
{
    std::vector<std::uint8_t> bytes = dfuse_test::Bytes(dfuse_test::SampleFile());
    bytes[200] ^= 0xFF;
    dfuse_test::WriteBytes(dir / "bad.vek", bytes);
    DfuFileHandle file = nullptr;
    std::uint16_t vid = 0x1111;
    EXPECT_EQ(files.STDFUFILES_OpenExistingDFUFile((dir / "bad.vek").c_str(), &file, &vid, nullptr, nullptr, nullptr),
              Code(FileError::BadCrc));
    EXPECT_EQ(vid, 0x1111); // outputs untouched on failure
    EXPECT_EQ(
        files.STDFUFILES_OpenExistingDFUFile((dir / "none.vek").c_str(), &file, nullptr, nullptr, nullptr, nullptr),
        Code(FileError::ReadFailed));
}

TEST_F(FileCalls, FailedAppendLeavesFileAndHandleAsTheyWere)
{
    const auto folder = dir / "transfer";
    std::filesystem::create_directory(folder);
    const std::string path = (folder / "user_para.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(files.STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x0483, 0xDF11, 0x0040), STDFUFILES_NOERROR);
    DfuImageHandle image = MakeImage(0, "user_para", {Element{0x0800F000, {1, 2, 3}}});
    ASSERT_EQ(files.STDFUFILES_AppendImageToDFUFile(file, image), STDFUFILES_NOERROR);
    const auto before = dfuse_test::ReadBytes(path);

    std::filesystem::rename(folder, dir / "away"); // the folder is gone: nothing can be written there
    EXPECT_EQ(files.STDFUFILES_AppendImageToDFUFile(file, image), Code(FileError::WriteFailed));
    std::filesystem::rename(dir / "away", folder);
    EXPECT_EQ(dfuse_test::ReadBytes(path), before);

    ASSERT_EQ(files.STDFUFILES_AppendImageToDFUFile(file, image), STDFUFILES_NOERROR);
    EXPECT_EQ(ReadDfuFile(path).file->images.size(), 2u); // the failed append left no trace
    files.STDFUFILES_CloseDFUFile(file);
    files.STDFUFILES_DestroyImage(image);
}

TEST_F(FileCalls, HandlesCanBeUsedFromSeveralThreads)
{
    DfuImageHandle shared = MakeImage(0, "shared", {Element{0x08000000, std::vector<std::uint8_t>(256, 1)}});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, shared] {
            for (int i = 0; i < 300; ++i) {
                DfuImageHandle copy = nullptr;
                files.STDFUFILES_DuplicateImage(shared, &copy);
                std::uint8_t byte = 2;
                files.STDFUFILES_SetImageElement(copy, 0, true, DfuElement{0x08000100, 1, &byte});
                std::uint32_t size = 0;
                files.STDFUFILES_GetImageSize(copy, &size);
                EXPECT_EQ(size, 257u);
                files.STDFUFILES_DestroyImage(copy);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    files.STDFUFILES_DestroyImage(shared);
}

} // namespace
