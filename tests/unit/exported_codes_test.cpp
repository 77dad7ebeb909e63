// The mapping of the library's outcomes onto the codes of the exported functions.
#include "boundary/exported_codes.h"
#include "karvcore/karvcore.h"

#include <gtest/gtest.h>

namespace karv {
namespace {

const Exported kFunctions[] = {
    Exported::Compress,         Exported::Decompress,      Exported::DataOffset,
    Exported::Backup,           Exported::Restore,         Exported::ReadMember,
    Exported::TextureContainer, Exported::TextReaderOpen,  Exported::TextReaderLine,
    Exported::TextWriter,       Exported::TextWriterReopen};

// No failure, whatever it is, may come out as a success, and success is always 0.
TEST(ExportedCodes, NoFailureIsReportedAsSuccess) {
    for (Exported function : kFunctions) {
        EXPECT_EQ(exportedCode(function, Status()), 0);
        for (int32_t e = 1; e <= int32_t(Error::WrongMode); ++e) {
            Status failure = Status::failure(Error(e));
            EXPECT_NE(exportedCode(function, failure), 0)
                << "function " << int(function) << ", error " << e;
        }
    }
}

TEST(ExportedCodes, ReportPutsTheMessageOnTheChannelFirst) {
    SetMessageQX(L"before");
    EXPECT_EQ(report(Exported::Restore, Status::failure(Error::SizeMismatch, L"size")), -4);
    EXPECT_EQ(GetMessageQX(), L"size");
    // A failure without a message of its own (the end of a text) leaves the channel alone.
    EXPECT_EQ(report(Exported::TextReaderLine, Status::failure(Error::EndOfText)), -1);
    EXPECT_EQ(GetMessageQX(), L"size");
    // An unsupported texture format is its own code.
    Status unsupported = Status::failure(Error::UnsupportedFormat, L"format");
    unsupported.withValue(0x5B);
    EXPECT_EQ(exportedCode(Exported::TextureContainer, unsupported), 0x5B);
}

} // namespace
} // namespace karv
