#pragma once
// The zip component: packs files into a ZIP archive and unpacks one, driven through properties and
// two methods like the automation control it stands in for.
//
// Unpacking treats the archive as hostile: nothing is ever written outside `unziptofolder`, and
// nothing beyond the size limits is written at all. An archive whose directory claims more entries,
// or takes more bytes, than such an archive can plausibly have is refused before the directory is
// read. An entry whose name is absolute, carries a drive
// letter or a ".." part, or has a part that Windows takes for a device or turns into another name
// (CON, com1.xml, a trailing dot or blank, a colon; on every system, so that a package unpacks the
// same everywhere), a link or any other entry that is not a plain file or folder, an encrypted
// entry, an entry above the size limit or one that would take the unpacked total past its limit, and
// a second entry with the same target name are refused: SkippingFile fires for each and the
// operation goes on with the next. Files are written through a temporary file in the target folder
// that is then renamed into place, so a link lying in the target folder is replaced, never followed.
//
// Names in an archive are matched and compared without regard to ASCII case, as on the systems
// that make such archives: "XM_BASE.XML" is "xm_base.xml", and two entries that differ only in case
// land on the same name.

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

namespace rt {

// Why an entry was refused (the reason argument of SkippingFile).
enum class SkipReason {
    UnsafePath,  // absolute, a drive letter, "..", an empty name, a device name (CON)
    NotAFile,    // a link, device or other special entry (or, when packing, a link on disk)
    Encrypted,   // no password is ever set
    TooLarge,    // above kMaxEntrySize
    TooMuch,     // would take what the operation unpacked past kMaxTotalSize
    Duplicate,   // a second entry that would land on the same name
    Unreadable,  // damaged data, an unsupported method, or a file on disk that cannot be read
    Unwritable,  // the target cannot be written (a folder is in the way, no space)
};

struct SkippedFile {
    std::string filename;        // the name in the archive (or that it would have had)
    std::string comment;         // the entry's comment
    std::string filenameOnDisk;  // the file on disk (packing) or the target it would have had
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    bool encrypted = false;
    SkipReason reason = SkipReason::UnsafePath;
    // Unwritable: the system's error, where it gave one (a full disk, a read-only one).
    std::error_code error;
};

// Results of zip() and unzip() besides 0 (every selected file was processed).
enum ZipResult : long {
    kZipNoArchiveName = 1,   // zipfilename is empty
    kZipNothingToDo = 2,     // no file matched filestoprocess
    kZipFilesSkipped = 3,    // some files were refused (SkippingFile fired for each)
    kZipCannotOpen = 4,      // the archive is missing or cannot be read
    kZipNotAnArchive = 5,    // the file is not a ZIP archive, or is damaged
    kZipCannotWrite = 6,     // the archive could not be written
    kZipNoTargetFolder = 7,  // unziptofolder is empty or cannot be made
    kZipSourceMissing = 8,   // the folder that filestoprocess names does not exist
    kZipTooManyEntries = 9,  // the directory claims more than kMaxEntries entries or kMaxDirectorySize bytes
};

// What one unpacking writes at most: per file and in all. The archives this component serves hold
// a few kilobytes; these leave a wide margin (a file of the largest text the XML reader takes, in
// the widest encoding) and keep a hostile one from filling the disk.
inline constexpr std::uint64_t kMaxEntrySize = 4u << 20;
inline constexpr std::uint64_t kMaxTotalSize = 16u << 20;
// The archives served hold seven files; some packers add folders and files of their own beside
// them. A directory of far more is refused before it is read, since reading it takes memory for each
// entry.
inline constexpr std::uint64_t kMaxEntries = 1000;
inline constexpr std::uint64_t kMaxDirectorySize = 1u << 20;

class Zip {
  public:
    // The archive to write or read.
    std::string zipfilename;
    // One pattern, or several separated by line breaks ("\n"); a file is taken when any matches.
    // Packing: a path whose last part is a file pattern ("*" and "?"), e.g. "/p/tmp_out/*".
    // Unpacking: a pattern for the entries' bare file names; "" or "*" takes every entry. An entry
    // taken by a pattern without wildcards is written under the pattern's spelling.
    std::string filestoprocess;
    // Packing: files in sub-folders of the pattern's folder are taken too. Unpacking: entries
    // stored in folders of the archive are taken too.
    bool processsubfolders = false;
    // false: entries are stored and unpacked under their bare file names.
    bool preservepaths = true;
    // Unpacking: the target folder, made when missing.
    std::string unziptofolder;

    // Writes a new archive (an existing one is replaced) from the matching files. Links on disk
    // are refused, not followed. Returns 0 or a ZipResult.
    long zip();
    // Unpacks the matching entries into unziptofolder, replacing files of the same name. Returns 0
    // or a ZipResult.
    long unzip();
    // type 0: `code` is a result of zip() or unzip(). The text describes it; for refused files it
    // names the first one of the last operation and why it was refused.
    std::string geterrordescription(int type, long code) const;
    // Why the last unpacking could not write a file it took, when the system said why: the target
    // folder's disk is full or read-only, say. None when every file taken was written, or was
    // refused for what it is.
    std::error_code WriteError() const { return writeError_; }

    // Fires inside zip() and unzip() for each refused file; the operation goes on after it.
    std::function<void(const SkippedFile&)> SkippingFile;

  private:
    void Skip(const SkippedFile& f);
    bool skipped_ = false;
    SkippedFile firstSkipped_;
    std::error_code writeError_;
};

}  // namespace rt
