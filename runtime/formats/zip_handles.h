#pragma once
// For the runtime's own use: owners of the archive library's handles, so that an archive or an
// entry opened is let go on every way out, an exception's included.

#include <zip.h>

#include <memory>

namespace rt {

struct ArchiveDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
// An open archive: discarded, nothing written, unless CloseArchive wrote it out.
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveDiscard>;

struct EntryClose {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
// An entry open for reading.
using EntryHandle = std::unique_ptr<zip_file_t, EntryClose>;

struct SourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
// A reference to a source of data, as the archive library counts them.
using SourceHandle = std::unique_ptr<zip_source_t, SourceFree>;

// Writes the archive out and lets it go. False when that failed: the handle is kept then, for its
// error, and discarded when it goes.
inline bool CloseArchive(ArchiveHandle& archive) {
    if (zip_close(archive.get()) != 0) return false;
    (void)archive.release();
    return true;
}

}  // namespace rt
