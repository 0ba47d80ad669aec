#include "dfuse/dfu_files_api.h"
#include "dfuse_test_util.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace nemora::dfuse;

std::uint32_t Code(FileError e)
{
    return ErrorCode(e);
}

class DfuFilesApi : public ::testing::Test {
protected:
    void SetUp() override { m_handlesAtStart = OpenHandleCount(); }
    void TearDown() override { EXPECT_EQ(OpenHandleCount(), m_handlesAtStart) << "a handle leaked"; }

    DfuImageHandle MakeImage(std::uint8_t alternate, const char* name, std::vector<Element> elements)
    {
        DfuImageHandle image = nullptr;
        EXPECT_EQ(STDFUFILES_CreateImage(&image, alternate), STDFUFILES_NOERROR);
        EXPECT_EQ(STDFUFILES_SetImageName(image, name), STDFUFILES_NOERROR);
        for (std::uint32_t i = 0; i < elements.size(); ++i) {
            DfuElement e{elements[i].address, static_cast<std::uint32_t>(elements[i].data.size()),
                         elements[i].data.data()};
            EXPECT_EQ(STDFUFILES_SetImageElement(image, i, true, e), STDFUFILES_NOERROR);
        }
        return image;
    }

    dfuse_test::ScratchDir dir;
    std::size_t m_handlesAtStart = 0;
};

TEST_F(DfuFilesApi, CreateAppendCloseThenOpenAndReadInOrder)
{
    const std::string path = (dir / "param.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x0483, 0xDF11, 0x03C5), STDFUFILES_NOERROR);
    DfuImageHandle logo = MakeImage(0, "user_log", {Element{0x08005000, std::vector<std::uint8_t>(64, 0x11)}});
    DfuImageHandle para = MakeImage(0, "user_para", {Element{0x0800F000, std::vector<std::uint8_t>(2048, 0x5A)}});
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, logo), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, para), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_DestroyImage(logo), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_DestroyImage(para), STDFUFILES_NOERROR);

    std::uint16_t vid = 0, pid = 0, bcd = 0;
    std::uint8_t count = 0;
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, &vid, &pid, &bcd, &count), STDFUFILES_NOERROR);
    EXPECT_EQ(vid, 0x0483);
    EXPECT_EQ(pid, 0xDF11);
    EXPECT_EQ(bcd, 0x03C5);
    EXPECT_EQ(count, 2);
    const char* expected[] = {"user_log", "user_para"};
    for (int i = 0; i < 2; ++i) {
        DfuImageHandle image = nullptr;
        ASSERT_EQ(STDFUFILES_ReadImageFromDFUFile(file, i, &image), STDFUFILES_NOERROR);
        char name[STDFUFILES_NAME_BUFFER_SIZE];
        EXPECT_EQ(STDFUFILES_GetImageName(image, name), STDFUFILES_NOERROR);
        EXPECT_STREQ(name, expected[i]);
        std::uint32_t size = 0;
        EXPECT_EQ(STDFUFILES_GetImageSize(image, &size), STDFUFILES_NOERROR);
        EXPECT_EQ(size, i == 0 ? 64u : 2048u);
        STDFUFILES_DestroyImage(image);
    }
    DfuImageHandle none = nullptr;
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 2, &none), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, -1, &none), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    // Only the image count is wanted: the other outputs may be null.
    ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, nullptr, nullptr, nullptr, &count),
              STDFUFILES_NOERROR);
    STDFUFILES_CloseDFUFile(file);
}

TEST_F(DfuFilesApi, ElementsAreReadInTwoStepsAndInsertedAtTheirIndex)
{
    DfuImageHandle image = MakeImage(0, "param", {Element{0x2000, {3, 3}}});
    std::vector<std::uint8_t> first = {1, 1, 1, 1};
    std::vector<std::uint8_t> middle = {2};
    ASSERT_EQ(STDFUFILES_SetImageElement(image, 0, true, DfuElement{0x1000, 4, first.data()}), STDFUFILES_NOERROR);
    ASSERT_EQ(STDFUFILES_SetImageElement(image, 1, true, DfuElement{0x1800, 1, middle.data()}), STDFUFILES_NOERROR);
    first[0] = 9; // the image holds its own copy

    std::uint32_t count = 0;
    ASSERT_EQ(STDFUFILES_GetImageNbElement(image, &count), STDFUFILES_NOERROR);
    ASSERT_EQ(count, 3u);
    const std::uint32_t addresses[] = {0x1000, 0x1800, 0x2000};
    const std::vector<std::uint8_t> contents[] = {{1, 1, 1, 1}, {2}, {3, 3}};
    for (std::uint32_t i = 0; i < count; ++i) {
        DfuElement e{}; // step one: no buffer, address and length only
        ASSERT_EQ(STDFUFILES_GetImageElement(image, i, &e), STDFUFILES_NOERROR);
        EXPECT_EQ(e.dwAddress, addresses[i]);
        std::vector<std::uint8_t> buffer(e.dwDataLength, 0);
        e.Data = buffer.data(); // step two: into the caller's buffer
        ASSERT_EQ(STDFUFILES_GetImageElement(image, i, &e), STDFUFILES_NOERROR);
        EXPECT_EQ(buffer, contents[i]);
    }

    std::uint8_t small[1] = {0x77};
    DfuElement shortBuffer{0, 1, small};
    EXPECT_EQ(STDFUFILES_GetImageElement(image, 0, &shortBuffer), Code(FileError::BufferTooSmall));
    EXPECT_EQ(shortBuffer.dwDataLength, 4u); // what is needed
    EXPECT_EQ(small[0], 0x77);               // nothing written past the caller's buffer

    DfuElement replacement{0x3000, 1, middle.data()};
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 2, false, replacement), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 3, false, replacement), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 4, true, replacement), Code(FileError::IndexOutOfRange));
    EXPECT_EQ(STDFUFILES_SetImageElement(image, 0, true, DfuElement{0, 5, nullptr}), Code(FileError::BadParameter));
    DfuElement beyond{};
    EXPECT_EQ(STDFUFILES_GetImageElement(image, 3, &beyond), Code(FileError::IndexOutOfRange));
    STDFUFILES_DestroyImage(image);
}

TEST_F(DfuFilesApi, NamesAlternatesAndDuplicates)
{
    DfuImageHandle image = MakeImage(1, "Option Bytes  ", {Element{0x1FFFF800, {0xAA, 0x55}}});
    EXPECT_EQ(STDFUFILES_SetImageName(image, std::string(255, 'x').c_str()), Code(FileError::BadParameter));
    DfuImageHandle copy = nullptr;
    ASSERT_EQ(STDFUFILES_DuplicateImage(image, &copy), STDFUFILES_NOERROR);
    EXPECT_NE(copy, image);
    EXPECT_EQ(STDFUFILES_SetImageName(image, "changed"), STDFUFILES_NOERROR);
    char name[STDFUFILES_NAME_BUFFER_SIZE];
    STDFUFILES_GetImageName(copy, name);
    EXPECT_STREQ(name, "Option Bytes  "); // the copy is independent and keeps the trailing blanks
    std::uint8_t alternate = 0;
    EXPECT_EQ(STDFUFILES_GetImageAlternate(copy, &alternate), STDFUFILES_NOERROR);
    EXPECT_EQ(alternate, 1);
    EXPECT_EQ(CopyImage(copy)->elements, CopyImage(image)->elements);
    STDFUFILES_DestroyImage(copy);
    STDFUFILES_DestroyImage(image);
}

TEST_F(DfuFilesApi, StaleForgedAndMixedHandlesAreRefused)
{
    DfuImageHandle image = nullptr;
    STDFUFILES_CreateImage(&image, 0);
    STDFUFILES_DestroyImage(image);
    std::uint32_t n = 0;
    EXPECT_EQ(STDFUFILES_GetImageNbElement(image, &n), Code(FileError::BadHandle));
    EXPECT_EQ(STDFUFILES_DestroyImage(image), Code(FileError::BadHandle));
    EXPECT_EQ(STDFUFILES_GetImageNbElement(reinterpret_cast<DfuImageHandle>(0x12345678), &n),
              Code(FileError::BadHandle));

    const std::string path = (dir / "f.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 1, 2, 3), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_GetImageNbElement(reinterpret_cast<DfuImageHandle>(file), &n), Code(FileError::BadHandle));
    EXPECT_EQ(STDFUFILES_GetImageNbElement(image, nullptr), Code(FileError::BadParameter));
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), STDFUFILES_NOERROR);
    EXPECT_EQ(STDFUFILES_CloseDFUFile(file), Code(FileError::BadHandle));
}

TEST_F(DfuFilesApi, DamagedFilesAreRefusedOnOpen)
{
    std::vector<std::uint8_t> bytes = dfuse_test::Bytes(dfuse_test::SampleFile());
    bytes[200] ^= 0xFF;
    dfuse_test::WriteBytes(dir / "bad.vek", bytes);
    DfuFileHandle file = nullptr;
    std::uint16_t vid = 0x1111;
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile((dir / "bad.vek").c_str(), &file, &vid, nullptr, nullptr, nullptr),
              Code(FileError::BadCrc));
    EXPECT_EQ(vid, 0x1111); // outputs untouched on failure
    EXPECT_EQ(STDFUFILES_OpenExistingDFUFile((dir / "none.vek").c_str(), &file, nullptr, nullptr, nullptr, nullptr),
              Code(FileError::ReadFailed));
}

TEST_F(DfuFilesApi, FailedAppendLeavesFileAndHandleAsTheyWere)
{
    const auto folder = dir / "transfer";
    std::filesystem::create_directory(folder);
    const std::string path = (folder / "user_para.vek").string();
    DfuFileHandle file = nullptr;
    ASSERT_EQ(STDFUFILES_CreateNewDFUFile(path.c_str(), &file, 0x0483, 0xDF11, 0x0040), STDFUFILES_NOERROR);
    DfuImageHandle image = MakeImage(0, "user_para", {Element{0x0800F000, {1, 2, 3}}});
    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFUFILES_NOERROR);
    const auto before = dfuse_test::ReadBytes(path);

    std::filesystem::rename(folder, dir / "away"); // the folder is gone: nothing can be written there
    EXPECT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), Code(FileError::WriteFailed));
    std::filesystem::rename(dir / "away", folder);
    EXPECT_EQ(dfuse_test::ReadBytes(path), before);

    ASSERT_EQ(STDFUFILES_AppendImageToDFUFile(file, image), STDFUFILES_NOERROR);
    EXPECT_EQ(ReadDfuFile(path).file->images.size(), 2u); // the failed append left no trace
    STDFUFILES_CloseDFUFile(file);
    STDFUFILES_DestroyImage(image);
}

TEST_F(DfuFilesApi, HandlesCanBeUsedFromSeveralThreads)
{
    DfuImageHandle shared = MakeImage(0, "shared", {Element{0x08000000, std::vector<std::uint8_t>(256, 1)}});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared] {
            for (int i = 0; i < 300; ++i) {
                DfuImageHandle copy = nullptr;
                STDFUFILES_DuplicateImage(shared, &copy);
                std::uint8_t byte = 2;
                STDFUFILES_SetImageElement(copy, 0, true, DfuElement{0x08000100, 1, &byte});
                std::uint32_t size = 0;
                STDFUFILES_GetImageSize(copy, &size);
                EXPECT_EQ(size, 257u);
                STDFUFILES_DestroyImage(copy);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    STDFUFILES_DestroyImage(shared);
}

} // namespace
