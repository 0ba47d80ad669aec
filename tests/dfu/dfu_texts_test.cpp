#include "dfu/dfu_texts.h"

#include "dfuse/dfuse_operations.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::dfu;
using nemora::dfuse::DFUThreadContext;
using nemora::dfuse::MappingSector;
using nemora::dfuse::MappingTarget;

TEST(DfuTexts, SectorSizeUnitsChangeAtOneKibAndOneMib)
{
    EXPECT_EQ(SectorSizeText(1023), "1023 b");
    EXPECT_EQ(SectorSizeText(1024), "1 Kb");
    EXPECT_EQ(SectorSizeText(1048575), "1023 Kb");
    EXPECT_EQ(SectorSizeText(1048576), "1 Mb");
    EXPECT_EQ(SectorSizeText(0x80000000u), "2048 Mb");
}

TEST(DfuTexts, SectorLinesListAccessAndHideEraseOnOptionBytes)
{
    MappingTarget flash{0, "Internal Flash  ", {{0x08000000, 1024, 7}, {0x08000400, 1023, 1}}};
    EXPECT_EQ(SectorListText(flash), "Sector 000\t0x08000000\t0x080003FF\t1 Kb\tRWE\n"
                                     "Sector 001\t0x08000400\t0x080007FE\t1023 b\tR");
    MappingTarget options{1, "Option Bytes  ", {{0x1FFFF800, 16, 7}}};
    EXPECT_EQ(SectorListText(options), "Sector 000\t0x1FFFF800\t0x1FFFF80F\t16 b\tRW");
    MappingTarget oneBlank{1, "Option Bytes ", {{0x1FFFF800, 16, 7}}}; // one blank only: not the option target
    EXPECT_EQ(SectorListText(oneBlank), "Sector 000\t0x1FFFF800\t0x1FFFF80F\t16 b\tRWE");
    EXPECT_EQ(SectorListText(MappingTarget{}), "");
}

TEST(DfuTexts, SizeAndElapsedTexts)
{
    EXPECT_EQ(TransferSizeText(10240, 50), "5 KB(5120 Bytes) of 10 KB(10240 Bytes)");
    EXPECT_EQ(TransferSizeText(2048, 0), "0 KB(0 Bytes) of 2 KB(2048 Bytes)");
    EXPECT_EQ(TransferSizeText(1500, 100), "1 KB(1500 Bytes) of 1 KB(1500 Bytes)");
    // 100 MB at 99 %: the byte figure must not wrap.
    EXPECT_EQ(TransferSizeText(104857600, 99), "101376 KB(103809024 Bytes) of 102400 KB(104857600 Bytes)");

    EXPECT_EQ(ElapsedText(0), "00:00:00");
    EXPECT_EQ(ElapsedText(86400 + 3600 + 60 + 1), "01:01:01");
    EXPECT_EQ(ElapsedText(23 * 3600 + 59 * 60 + 59), "23:59:59");
    EXPECT_EQ(ElapsedText(-5), "00:00:00");
}

TEST(DfuTexts, PhaseTextPerOperation)
{
    using namespace nemora::dfuse;
    EXPECT_EQ(PhaseText(OPERATION_DETACH, 0, 5), " Detaching 5%...");
    EXPECT_EQ(PhaseText(OPERATION_RETURN, 1, 100), " Leaving Updating mode 100%...");
    EXPECT_EQ(PhaseText(OPERATION_UPLOAD, 1, 40), " 01: Uploading 40%...");
    EXPECT_EQ(PhaseText(OPERATION_UPGRADE, 0, 50), " 00: Upgrading - Download Phase (50%)...");
    EXPECT_EQ(PhaseText(OPERATION_ERASE, 0, 7), " 00: Upgrading - Erase Phase (7%)...");
    EXPECT_EQ(PhaseText(9, 12, 0), " 12: Upgrading - Erase Phase (0%)...");
}

TEST(DfuTexts, OptionByteFamilies)
{
    ASSERT_TRUE(OptionByteFamilyFor(0x1FFFF800));
    EXPECT_EQ(OptionByteFamilyFor(0x1FFFF800)->family, 1);
    EXPECT_EQ(OptionByteFamilyFor(0x1FFFC000)->readLength, 16u);
    EXPECT_EQ(OptionByteFamilyFor(0x1FF80000)->family, 3);
    EXPECT_EQ(OptionByteFamilyFor(0x1FF80000)->readLength, 32u);
    EXPECT_FALSE(OptionByteFamilyFor(0x08000000));
}

TEST(DfuTexts, FileIdentityIgnoresOnlyTheFirmwareBits)
{
    EXPECT_TRUE(FileSuitsDevice("0483", "DF11", "004C", "0483", "DF11", "0041"));
    EXPECT_TRUE(FileSuitsDevice("0483", "DF11", "004C", "0483", "DF11", "007F"));
    EXPECT_FALSE(FileSuitsDevice("0483", "DF11", "004C", "0483", "DF11", "008C")); // bit 7: another model
    EXPECT_FALSE(FileSuitsDevice("0483", "DF11", "004C", "0483", "DF12", "004C"));
    EXPECT_FALSE(FileSuitsDevice("0483", "DF11", "004C", "0484", "DF11", "004C"));
    EXPECT_FALSE(FileSuitsDevice("", "", "", "0483", "DF11", "004C")); // device not in DFU mode
    EXPECT_EQ(DeviceModelFromBcdText("004C"), 0x40u);
    EXPECT_EQ(DeviceModelFromBcdText("FFFF"), 0xFFC0u);
}

TEST(DfuTexts, FailureLinesDecodeEveryTableAndShowUnknownValuesInHex)
{
    using namespace nemora::dfuse;
    EXPECT_EQ(ErrorCodeLine(0x12340000), "Error Code: no error (!)\n");
    EXPECT_EQ(ErrorCodeLine(0x12345001), "Error Code: Unable to launch operation (Thread problem)\n");
    EXPECT_EQ(ErrorCodeLine(0x12345007), "Error Code: DFU already running\n");
    EXPECT_EQ(ErrorCodeLine(0x12345008), "Error Code: Bad parameter\n");
    EXPECT_EQ(ErrorCodeLine(0x12345009), "Error Code: Bad state machine in firmware\n");
    EXPECT_EQ(ErrorCodeLine(0x1234500A), "Error Code: Unexpected error\n");
    EXPECT_EQ(ErrorCodeLine(0x1234500B), "Error Code: DFU error\n");
    EXPECT_EQ(ErrorCodeLine(0x1234500C), "Error Code: Retry error\n");
    EXPECT_EQ(ErrorCodeLine(0x1234500D), "Error Code: Unknown error 0x1234500D. \n");
    EXPECT_EQ(ErrorCodeLine(0xDEADBEEF), "Error Code: Unknown error 0xDEADBEEF. \n");

    EXPECT_EQ(OperationLine(0), "Operation: DETACH\n");
    EXPECT_EQ(OperationLine(1), "Operation: RETURN\n");
    EXPECT_EQ(OperationLine(2), "Operation: UPLOAD\n");
    EXPECT_EQ(OperationLine(3), "");
    EXPECT_EQ(OperationLine(4), "Operation: UPGRADE\n");
    EXPECT_EQ(OperationLine(5), "");

    // The ends of each table, the report's own spelling of status 5, and values beyond the tables.
    EXPECT_EQ(StateLine(0), "Updating State: STATE_IDLE\n");
    EXPECT_EQ(StateLine(10), "Updating State: STATE_DFU_ERROR\n");
    EXPECT_EQ(StateLine(11), "Updating State: (Unknown 0x0B)\n");
    EXPECT_EQ(StateLine(0xFF), "Updating State: (Unknown 0xFF)\n");
    EXPECT_EQ(StatusLine(0), "Updating Status: STATUS_OK\n");
    EXPECT_EQ(StatusLine(5), "Updating Status: STATUS_errCHECK_ERASE\n");
    EXPECT_EQ(StatusLine(15), "Updating Status: STATUS_errSTALLEDPKT\n");
    EXPECT_EQ(StatusLine(16), "Updating Status: (Unknown 0x10)\n");

    EXPECT_EQ(RequestLine(0x02000000), "Request: Getting Device Descriptor. \n");
    EXPECT_EQ(RequestLine(0x09000000), "Request: Getting interface Descriptor. \n");
    EXPECT_EQ(RequestLine(0x0D000000), "Request: Download Request. \n");
    EXPECT_EQ(RequestLine(0x13000000), "Request: Selecting target. \n");
    EXPECT_EQ(RequestLine(0x16000000), "Request: Identifying device after reenumeration. \n");
    EXPECT_EQ(RequestLine(0x01000000), "Request: (unknown 0x01000000). \n");
    EXPECT_EQ(RequestLine(0x17000000), "Request: (unknown 0x17000000). \n");
    EXPECT_EQ(RequestLine(0x0D000001), "Request: (unknown 0x0D000001). \n");
    EXPECT_EQ(RequestLine(0), "Request: (unknown 0x00000000). \n");
}

TEST(DfuTexts, FailureReportOrdersItsLines)
{
    DFUThreadContext context;
    context.Operation = nemora::dfuse::OPERATION_UPGRADE;
    context.ErrorCode = 0x1234500B;
    context.wTransferSize = 2048;
    context.LastDFUStatus.bState = 10;
    context.LastDFUStatus.bStatus = 6;
    context.CurrentRequest = 0x0D000000;
    context.CurrentNBlock = 0x12;
    context.CurrentLength = 0x800;
    context.Percent = 37;
    const auto report = BuildFailureReport(context, "VTC Mini", 0);
    EXPECT_EQ(report.errorLine, "Error Code: DFU error\n");
    EXPECT_EQ(report.message, "VTC Mini 00\n"
                              "Error Code: DFU error\n"
                              "Operation: UPGRADE\n"
                              "TransferSize: 2048\n"
                              "Updating State: STATE_DFU_ERROR\n"
                              "Updating Status: STATUS_errPROG\n"
                              "Request: Download Request. \n"
                              "CurrentNBlock: 0x0012\n"
                              "CurrentLength: 0x0800\n"
                              "Percent: 37%\n");

    context.Operation = nemora::dfuse::OPERATION_ERASE;
    const auto noTarget = BuildFailureReport(context, "Unknow Device", -1);
    EXPECT_EQ(noTarget.message.substr(0, 17), "Unknow Device -1\n");
    EXPECT_EQ(noTarget.message.find("Operation:"), std::string::npos);
}

} // namespace
