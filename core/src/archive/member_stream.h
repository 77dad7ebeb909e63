// Members of an archive in entry order, on the pipeline: the calling thread opens the archive
// files, reads each member's stored bytes and hands the members over in order; the workers
// decompress the members ahead of it. The export reads a range of the archive's own index this
// way, the originals a list of entries of the backup's copy of it.
#pragma once

#include "archive/archive_files.h"
#include "archive/member_reader.h"
#include "karvcore/archive.h"
#include "platform/file.h"
#include "work/pipeline.h"

#include <functional>
#include <memory>
#include <vector>

namespace karv {

class MemberStream {
  public:
    // Whether an entry that the table locates may be read from archive file `file`; a failure
    // becomes the entry's status. Called on the calling thread, in entry order.
    using Admit = std::function<Status(uint32_t entry, int32_t file, const idxinfo& info)>;

    MemberStream(int32_t dataType, bool bigEndian, const linkinfo& link,
                 const std::wstring& archivePath);
    ~MemberStream();
    MemberStream(const MemberStream&) = delete;
    MemberStream& operator=(const MemberStream&) = delete;

    // The table the entries are located in; load or adopt one before start().
    MemberReader& reader() { return reader_; }
    const ArchiveFiles& files() const { return files_; }

    // Opens the archive file read first and reads its first bytes: ArchiveUnopened,
    // ArchiveUnreadable.
    Status openFirst();
    // The entries to read: those of [first, end), or a list in ascending order.
    void start(uint32_t first, uint32_t end);
    void start(std::vector<uint32_t> entries);
    void admitWith(Admit admit) { admit_ = std::move(admit); }

    // The next entry; false when the entries are done or the run has ended (an archive file that
    // cannot be opened, memory that cannot be had). A failed entry's message goes on the
    // last-error channel. The member stays valid until the next call.
    bool next(ExportedMember& member);
    // The run ended because memory could not be had; the member next() gave last names no entry.
    bool ranOutOfMemory() const { return outOfMemory_; }

  private:
    struct Pending;
    bool haveNext() const;
    uint32_t takeNext();
    void startPipeline(size_t members);
    void readAhead();
    void read(Pending& member);
    void decompressAhead(Pending& member, const idxinfo& info);
    bool switchArchiveFile(uint32_t entry);
    void finish(Pending& member);

    int32_t dataType_;
    bool bigEndian_;
    linkinfo link_;
    MemberReader reader_;
    ArchiveFiles files_;
    platform::File archive_;
    int32_t openArchive_ = 0;
    Admit admit_;
    // The range, or positions in the list.
    std::vector<uint32_t> list_;
    bool fromList_ = false;
    uint32_t next_ = 0;
    uint32_t end_ = 0;
    bool ended_ = false;
    bool outOfMemory_ = false;
    std::unique_ptr<Pipeline<Pending>> pipeline_;
    std::unique_ptr<Pending> current_; // handed over last; its blocks go back when the next goes
};

} // namespace karv
