#include "boundary/exported_codes.h"

#include "karvcore/karvcore.h"

#include <cstddef>

namespace karv {
namespace {

struct Code {
    Error error;
    int32_t code;
};

const Code kDecompress[] = {
    {Error::CorruptData, -1}, {Error::WrongTotal, -2}, {Error::OutOfMemory, -10}};

const Code kDataOffset[] = {
    {Error::SubFileBeyondTable, -1}, {Error::BlobUnrecognised, -2}, {Error::SubFileOutside, -3}};

// Every way the index can fail to load is -1, the default.
const Code kBackup[] = {{Error::ArchiveUnopened, -2}, {Error::FileSizeUnknown, -3},
                        {Error::FileUncreated, -5},   {Error::FileUnwritable, -5},
                        {Error::TooManyFiles, -6},    {Error::ModsApplied, -8},
                        {Error::OutOfMemory, -10}};

// An index that cannot be read is -1, the default.
const Code kRestore[] = {
    {Error::BackupUnloadable, -1}, {Error::IndexUnopened, -2},      {Error::ArchiveUnopened, -2},
    {Error::FileSizeUnknown, -3},  {Error::SizeMismatch, -4},       {Error::FileUnwritable, -5},
    {Error::TooManyFiles, -6},     {Error::ChangedSinceBackup, -7}, {Error::OutOfMemory, -10}};

const Code kReadMember[] = {{Error::IndexNotLoaded, -1},    {Error::EntryUnused, -2},
                            {Error::ArchiveUnreadable, -3}, {Error::MemberUndecodable, -4},
                            {Error::EntryBeyondIndex, -5},  {Error::OutOfMemory, -10}};

// An unsupported format is its own code (positive); see exportedCode.
const Code kTextureContainer[] = {{Error::NoMoreTextures, -1}, {Error::AlreadyOpen, -10},
                                  {Error::DataEmpty, -11},     {Error::DdsTooSmall, -11},
                                  {Error::NotOpen, -12},       {Error::OutsideContainer, -13},
                                  {Error::DdsMismatch, -14},   {Error::TextureBeyondCount, -15},
                                  {Error::OutOfMemory, -16},   {Error::TooLarge, -16}};

// A file that cannot be loaded, for whatever reason, is -2.
const Code kTextReaderOpen[] = {{Error::PathInaccessible, -1},
                                {Error::TextMarkMissing, -3},
                                {Error::TextOddLength, -4},
                                {Error::OutOfMemory, -10}};

const Code kTextReaderLine[] = {{Error::EndOfText, -1},
                                {Error::TextUndecodable, -2},
                                {Error::TextConversionFailed, -3},
                                {Error::OutOfMemory, -10}};

// -10 already means "already open": running out of memory is -20.
const Code kTextWriter[] = {{Error::EncodingUnsupported, -1},
                            {Error::FileUncreated, -2},
                            {Error::MarkUnwritten, -3},
                            {Error::FileUnopened, -4},
                            {Error::FileUnwritable, -4},
                            {Error::AlreadyOpen, -10},
                            {Error::NotOpen, -11},
                            {Error::WrongMode, -12},
                            {Error::OutOfMemory, -20}};

// Reopen: a file that does not open again is -1.
const Code kTextWriterReopen[] = {{Error::FileUnopened, -1},
                                  {Error::FileUnwritable, -4},
                                  {Error::NotOpen, -11},
                                  {Error::WrongMode, -12},
                                  {Error::OutOfMemory, -20}};

// The code listed for `error`, or `otherwise`.
template <size_t N> int32_t lookUp(const Code (&codes)[N], Error error, int32_t otherwise) {
    for (const Code& code : codes) {
        if (code.error == error)
            return code.code;
    }
    return otherwise;
}

} // namespace

int32_t exportedCode(Exported function, const Status& status) {
    if (status.ok())
        return 0;
    const Error error = status.error();
    switch (function) {
    case Exported::Compress:
        return -1; // every failure; the message says which
    case Exported::Decompress:
        return lookUp(kDecompress, error, -1);
    case Exported::DataOffset:
        return lookUp(kDataOffset, error, -1);
    case Exported::Backup:
        return lookUp(kBackup, error, -1);
    case Exported::Restore:
        return lookUp(kRestore, error, -1);
    case Exported::ReadMember:
        return lookUp(kReadMember, error, -1);
    case Exported::TextureContainer:
        // Format 0 is supported: a 0 here would read as success.
        if (error == Error::UnsupportedFormat && status.value() != 0)
            return status.value();
        return lookUp(kTextureContainer, error, -16);
    case Exported::TextReaderOpen:
        return lookUp(kTextReaderOpen, error, -2);
    case Exported::TextReaderLine:
        return lookUp(kTextReaderLine, error, -3);
    case Exported::TextWriter:
        return lookUp(kTextWriter, error, -4);
    case Exported::TextWriterReopen:
        return lookUp(kTextWriterReopen, error, -4);
    }
    return -1;
}

int32_t report(Exported function, const Status& status) {
    if (!status.ok() && !status.message().empty())
        SetMessageQX(status.message());
    return exportedCode(function, status);
}

bool reportSucceeded(const Status& status) {
    if (!status.ok() && !status.message().empty())
        SetMessageQX(status.message());
    return status.ok();
}

} // namespace karv
