// The one vocabulary of failures inside karvcore and between karvcore and karvex. Every
// component says what failed in these words; the exported functions turn them into the codes
// they return in one place (core/src/boundary/exported_codes.cpp), and the program turns them
// into its lines.
#pragma once

#include <cstdint>

namespace karv {

enum class Error : int32_t {
    None = 0,

    // ---- Anywhere ----
    OutOfMemory,
    // A file operation the system refused; whoever asked for it says what failed (Status::as).
    SystemCall,
    // A run of several steps ended at a step whose outcome was reported before.
    Stopped,

    // ---- Arguments ----
    BadDataType,  // no container kind, or none chosen yet
    TooManyFiles, // more archive files than an archive may have
    TooLarge,     // a result that would not fit in 32 bits

    // ---- Files ----
    FileUnopened,     // does not exist or cannot be opened
    PathInaccessible, // no file of that name to read (a pattern never names one)
    FileUnreadable,   // a read failed or met the end too early
    FileUncreated,    // a new file could not be made
    FileUnwritable,   // a write, flush, cut, rename or close failed
    FileTooLarge,     // 4 GiB or more, where a whole file is read
    FileSizeUnknown,  // its size cannot be taken, or is 0

    // ---- Index files ----
    IndexUnopened,
    IndexHeaderUnreadable, // the header cannot be read or is cut short
    IndexUnitZero,         // the header's offset unit is 0
    IndexDeclaredEmpty,    // the header declares no entry
    IndexHoldsNoEntry,     // the file holds none of the entries the header declares
    IndexTableUnreadable,  // the entries cannot be read
    IndexUnloadable,       // a headerless index cannot be loaded whole
    IndexNotLoaded,
    EntryBeyondIndex,
    EntryUnused,

    // ---- Archive files and the backup ----
    ArchiveUnopened,
    ArchiveUnreadable,
    SizeMismatch,      // a file's size does not agree with the backup
    BackupUnloadable,  // the backup's files are missing, unreadable or disagree
    MemberUndecodable, // a member's container does not decode (the message says why)
    // Another program (a game update) changed the index or an archive file since the backup:
    // restoring or importing over it would damage the game.
    ChangedSinceBackup,
    // The backup's copy of an entry reaches past its archive file's saved size: what it
    // points to is not what the archive held at backup time.
    OutsideSavedRegion,

    // ---- Compressed containers ----
    CompressFailed, // the message says why
    CorruptData,
    WrongTotal, // the chunks make another length than the header's total

    // ---- Packed blobs ----
    SubFileBeyondTable, // not in the table, or reaching past the blob
    BlobUnrecognised,   // neither table layout
    SubFileOutside,     // starts at or behind the end of the blob
    SubFileGrew,        // larger than the listing said
    TooManySubFiles,    // more than the listing said

    // ---- Texture containers and DDS files ----
    NoMoreTextures,
    AlreadyOpen, // also the text writer
    DataEmpty,
    NotOpen, // also the text writer
    OutsideContainer,
    DdsTooSmall,
    DdsMismatch,
    TextureBeyondCount,
    UnsupportedFormat, // Status::value() holds the format code
    NotTextureData,    // neither a texture container nor a packed blob
    SubFileNotTexture, // the sub-file is no texture container

    // ---- Text files ----
    TextMarkMissing, // UCS-2 without a byte-order mark
    TextOddLength,   // UCS-2 with an odd number of bytes
    EndOfText,
    TextUndecodable, // a byte that cannot start a UTF-8 character
    TextConversionFailed,
    EncodingUnsupported,
    MarkUnwritten,
    WrongMode, // the text writer's LOG mode against its normal mode

    // ---- Mod packages ----
    ModManifestInvalid, // mod.json cannot be read as a manifest (the message says where)
    ModHashUnknown,     // a hash name this version does not know
    ModFormatUnknown,   // a format number this version does not know
    ModLedgerInvalid,   // a mod ledger that cannot be read (the message says where)
    ModIntentInvalid,   // a mod step's intent that cannot be read (the message says where)

    // ---- Mods on a game ----
    ModPackageUnreadable, // no mod.json in the folder, or it cannot be read
    ModMemberMismatch,    // a member file missing, or not the manifest's length and hash
    ModIntentPending,     // a leftover intent has to be settled first
    ModWrongGame,         // a package made for another type or byte order
    ModAlreadyApplied,    // a mod of that name is applied (or given twice)
    ModConflict,          // a finding blocks the step
    ModNotApplied,        // no applied mod of that name
    ModsApplied,          // a backup refused: the ledger lists applied mods
};

} // namespace karv
