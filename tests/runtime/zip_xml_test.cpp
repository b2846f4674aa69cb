// The zip component, the XML reader and a DataWindow saved as XML, on files in a private folder.
// Archives that no honest packer makes are built with libzip directly.

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "runtime/datawindow/datawindow.h"
#include "runtime/datawindow/datawindow_xml.h"
#include "runtime/formats/xml.h"
#include "runtime/formats/zip.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "schema/dataobjects.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

namespace {

namespace fs = std::filesystem;

class Sandbox : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("laurel-zipxml-" + std::to_string(std::random_device()()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // Names are UTF-8 text, as the program keeps them, whatever the system's code page.
    std::string Path(const std::string& rel) const { return rt::PathText(root_ / rt::FsPath(rel)); }
    void Write(const std::string& rel, const std::string& bytes) const {
        testing_support::WriteFileBytes(root_ / rt::FsPath(rel), bytes);
    }
    std::string Read(const std::string& rel) const {
        return testing_support::FileBytes(root_ / rt::FsPath(rel));
    }
    // Every file under the sandbox, relative, with '/' separators.
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (!e.is_directory()) out.push_back(rt::GenericPathText(e.path().lexically_relative(root_)));
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path root_;
};

// A link, as the mode bits of a Unix packer mark it.
constexpr unsigned kUnixLink = 0120000u;

// An archive written entry by entry, names and attributes as given.
struct RawArchive {
    struct Entry {
        std::string name, data;
        bool symlink = false;
    };
    static void Make(const std::string& path, const std::vector<Entry>& entries) {
        int err = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        ASSERT_NE(z, nullptr);
        for (const Entry& e : entries) {
            zip_source_t* s = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
            const zip_int64_t i = zip_file_add(z, e.name.c_str(), s, ZIP_FL_ENC_UTF_8);
            ASSERT_GE(i, 0) << e.name;
            if (e.symlink)
                zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                                 (kUnixLink | 0777u) << 16);
        }
        ASSERT_EQ(zip_close(z), 0);
    }
    static std::vector<std::string> Names(const std::string& path) {
        std::vector<std::string> out;
        int err = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
        if (z == nullptr) return out;
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i)
            out.emplace_back(zip_get_name(z, static_cast<zip_uint64_t>(i), 0));
        zip_discard(z);
        std::sort(out.begin(), out.end());
        return out;
    }
};

// ---- zip -------------------------------------------------------------------------------------

using ZipTest = Sandbox;

TEST_F(ZipTest, PacksAFolderUnderBareNamesAndUnpacksItIntoAnother) {
    Write("out/xm_base.xml", "<a>甲</a>");
    Write("out/xm_ry.xml", std::string(100000, 'x'));
    Write("out/sub/推荐书.txt", "sub");
    const std::vector<std::string> names = {"xm_base.xml", "xm_ry.xml", "推荐书.txt"};

    rt::Zip z;
    std::vector<rt::SkippedFile> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) { skipped.push_back(f); };
    z.processsubfolders = true;
    z.filestoprocess = Path("out") + "/*";
    z.preservepaths = false;
    z.zipfilename = Path("pkg.DAT");
    if (testing_support::LinksCanBeMade()) {
        // A link on disk is refused, not followed; the rest is packed.
        fs::create_symlink("/etc/hostname", root_ / "out/link.xml");
        EXPECT_EQ(z.zip(), rt::kZipFilesSkipped);
        ASSERT_EQ(skipped.size(), 1u);
        EXPECT_EQ(skipped[0].reason, rt::SkipReason::NotAFile);
        EXPECT_EQ(RawArchive::Names(Path("pkg.DAT")), names);
        fs::remove(root_ / "out/link.xml");
        skipped.clear();
    } else {
        Write("pkg.DAT", "an older package");
    }
    EXPECT_EQ(z.zip(), 0) << "a second packing replaces the archive";
    EXPECT_EQ(RawArchive::Names(Path("pkg.DAT")), names);

    z.filestoprocess = "*";
    z.unziptofolder = Path("in/deeper");
    EXPECT_EQ(z.unzip(), 0);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(Read("in/deeper/xm_base.xml"), "<a>甲</a>");
    EXPECT_EQ(Read("in/deeper/xm_ry.xml"), std::string(100000, 'x'));
    EXPECT_EQ(Read("in/deeper/推荐书.txt"), "sub");

    // Unpacked again over files of the same names in a folder of a Chinese name: each is replaced
    // whole under its own name, and nothing is left beside them. A file that another program holds
    // open (on Windows) keeps what it held and is reported with the system's reason.
    const std::string again = "in/张三的文件夹";
    for (const std::string& name : names) Write(again + "/" + name, "old");
    z.unziptofolder = Path(again);
    {
        const testing_support::HeldOpen held(root_ / rt::FsPath(again + "/xm_ry.xml"));
        if (held.Held()) {
            EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);
            ASSERT_EQ(skipped.size(), 1u);
            EXPECT_EQ(skipped[0].filename, "xm_ry.xml");
            EXPECT_EQ(skipped[0].reason, rt::SkipReason::Unwritable);
            EXPECT_EQ(skipped[0].error, std::errc::permission_denied);
        } else {
            EXPECT_EQ(z.unzip(), 0);
            EXPECT_TRUE(skipped.empty());
        }
        EXPECT_TRUE(Read(again + "/xm_ry.xml") == (held.Held() ? "old" : std::string(100000, 'x')));
    }
    EXPECT_EQ(Read(again + "/xm_base.xml"), "<a>甲</a>");
    EXPECT_EQ(Read(again + "/推荐书.txt"), "sub");
    std::vector<std::string> there;
    for (const auto& e : fs::directory_iterator(root_ / rt::FsPath(again)))
        there.push_back(rt::PathText(e.path().filename()));
    std::sort(there.begin(), there.end());
    EXPECT_EQ(there, names);
}

TEST_F(ZipTest, HostileEntriesAreRefusedAndNothingIsWrittenOutsideTheTarget) {
    RawArchive::Make(Path("evil.zip"), {{"../escaped.txt", "x"},
                                        {"a/../../escaped2.txt", "x"},
                                        {"/tmp/laurel-absolute-escape.txt", "x"},
                                        {"C:/windows.txt", "x"},
                                        {"..\\back.txt", "x"},
                                        {"link.xml", "/etc/passwd", true},
                                        {"one/xm_base.xml", "<first/>"},
                                        {"two/xm_base.xml", "<second/>"},
                                        {"xm_ry.xml", "<ry/>"}});
    fs::create_directories(root_ / "target");
    // A link planted in the target must be replaced, not written through.
    Write("outside.txt", "untouched");
    if (testing_support::LinksCanBeMade())
        fs::create_symlink(root_ / "outside.txt", root_ / "target/xm_ry.xml");

    rt::Zip z;
    std::vector<rt::SkippedFile> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) { skipped.push_back(f); };
    z.processsubfolders = true;
    z.filestoprocess = "*";
    z.preservepaths = false;
    z.unziptofolder = Path("target");
    z.zipfilename = Path("evil.zip");
    EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);

    std::vector<std::string> names;
    for (const auto& f : skipped)
        names.push_back(f.filename + ":" + std::to_string(static_cast<int>(f.reason)));
    EXPECT_EQ(skipped.size(), 7u) << ::testing::PrintToString(names);
    EXPECT_EQ(Files(), (std::vector<std::string>{"evil.zip", "outside.txt", "target/xm_base.xml",
                                                 "target/xm_ry.xml"}));
    EXPECT_EQ(Read("outside.txt"), "untouched");
    EXPECT_FALSE(fs::is_symlink(root_ / "target/xm_ry.xml"));
    EXPECT_EQ(Read("target/xm_ry.xml"), "<ry/>");
    EXPECT_EQ(Read("target/xm_base.xml"), "<first/>") << "a second entry of the same name is refused";
    EXPECT_FALSE(fs::exists("/tmp/laurel-absolute-escape.txt"));
}

// A name that Windows takes for a device, or turns into another (it drops trailing dots and
// blanks; a colon names a stream), is refused wherever it stands in the path, whatever its case
// and extension; names that merely begin like one are written.
TEST_F(ZipTest, NamesWindowsWouldTakeForADeviceOrAnotherFileAreRefused) {
    std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL"};
    for (char n = '1'; n <= '9'; ++n) {
        devices.push_back(std::string("COM") + n);
        devices.push_back(std::string("LPT") + n);
    }
    std::vector<std::string> refused;
    for (const std::string& d : devices) {
        std::string lower = d, mixed = d;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        mixed[1] = lower[1];
        refused.insert(refused.end(), {d, lower + ".xml", mixed + ".tar.gz", lower + "/xm_base.xml"});
    }
    // Superscript digits (UTF-8) name ports too; blanks before the extension fall away.
    refused.insert(refused.end(), {"COM\xC2\xB9", "lpt\xC2\xB2.xml", "Com\xC2\xB3", "nul .xml", "aux  "});
    refused.insert(refused.end(), {"a.", "a ", "xm_base.xml.", "xm_base.xml ", "dir./x.xml", "dir /x.xml",
                                   "a:b", "xm_base.xml:hidden", "dir:x/y.xml"});
    const std::vector<std::string> written = {"console.xml", "com10.xml", "lpt.xml",   "nul-x.xml",
                                              "auxiliary",   "a.b.xml",   "com.xml",   "prn_.xml",
                                              "conx",        ".con",      "x.nul.xml", "my com1.xml"};
    std::vector<RawArchive::Entry> entries;
    for (const std::string& name : refused) entries.push_back({name, "refused"});
    for (const std::string& name : written) entries.push_back({name, name});
    RawArchive::Make(Path("devices.zip"), entries);

    rt::Zip z;
    std::vector<std::string> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) {
        EXPECT_EQ(f.reason, rt::SkipReason::UnsafePath) << f.filename;
        skipped.push_back(f.filename);
    };
    z.processsubfolders = true;
    z.filestoprocess = "*";
    z.preservepaths = true;
    z.unziptofolder = Path("target");
    z.zipfilename = Path("devices.zip");
    EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);
    std::sort(skipped.begin(), skipped.end());
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(skipped, refused);
    std::vector<std::string> expected = {"devices.zip"};
    for (const std::string& name : written) {
        expected.push_back("target/" + name);
        EXPECT_EQ(Read("target/" + name), name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Files(), expected);
}

TEST_F(ZipTest, NamedFilesAreTakenWhateverTheirCaseAndNothingElse) {
    // Packing by name: files beside them and in sub-folders stay out.
    Write("out/xm_base.xml", "<base/>");
    Write("out/xm_ry.xml", "<ry/>");
    Write("out/stale.xml", "<stale/>");
    Write("out/sub/xm_ry.xml", "<old/>");
    rt::Zip z;
    std::vector<rt::SkippedFile> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) { skipped.push_back(f); };
    z.processsubfolders = false;
    z.filestoprocess = Path("out/xm_base.xml") + "\n" + Path("out/xm_ry.xml");
    z.preservepaths = false;
    z.zipfilename = Path("named.zip");
    EXPECT_EQ(z.zip(), 0);
    EXPECT_EQ(RawArchive::Names(Path("named.zip")), (std::vector<std::string>{"xm_base.xml", "xm_ry.xml"}));
    // Wildcards as the shell reads them: a set, its negation, a range, one character.
    z.filestoprocess =
        Path("out") + "/xm_[!b]*.xml\n" + Path("out") + "/[r-t]?ale.*\n" + Path("out") + "/[xs";
    z.zipfilename = Path("masked.zip");
    EXPECT_EQ(z.zip(), 0);
    EXPECT_EQ(RawArchive::Names(Path("masked.zip")), (std::vector<std::string>{"stale.xml", "xm_ry.xml"}));

    // Unpacking by name: matched without regard to case wherever the archive keeps them, written
    // under the names asked for; other entries are not even looked at.
    RawArchive::Make(Path("mixed.zip"), {{"docs/readme.txt", "other"},
                                         {"../../evil.txt", "not a member"},
                                         {"PKG/XM_BASE.XML", "<base/>"},
                                         {"Xm_Ry.Xml", "<ry/>"},
                                         {"old/xm_dw.xml", "<first/>"},
                                         {"XM_DW.xml", "<second/>"}});
    z.processsubfolders = true;
    z.filestoprocess = "xm_base.xml\nxm_ry.xml\nxm_dw.xml\nxm_hj.xml";
    z.unziptofolder = Path("in");
    z.zipfilename = Path("mixed.zip");
    EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);
    ASSERT_EQ(skipped.size(), 1u) << "only the second entry for one name";
    EXPECT_EQ(skipped[0].filename, "XM_DW.xml");
    EXPECT_EQ(skipped[0].reason, rt::SkipReason::Duplicate);
    EXPECT_EQ(z.geterrordescription(0, rt::kZipFilesSkipped), "有文件被跳过：XM_DW.xml（与另一个文件同名）");
    EXPECT_EQ(Read("in/xm_base.xml"), "<base/>");
    EXPECT_EQ(Read("in/xm_ry.xml"), "<ry/>");
    EXPECT_FALSE(fs::exists(root_ / "in/readme.txt"));
    EXPECT_FALSE(fs::exists(root_ / "evil.txt"));
}

// The size an archive's records state for the entry, set in its local header and its directory
// alike: a packer may write any.
void UnderstateSize(const std::string& path, const std::string& entry, std::uint32_t size) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), {});
    auto put = [&](std::size_t at) {
        for (int k = 0; k < 4; ++k)
            bytes[at + static_cast<std::size_t>(k)] = static_cast<char>(size >> (8 * k));
    };
    for (const auto& [signature, sizeAt, nameAt] :
         {std::tuple{std::string("PK\3\4"), 22, 30}, std::tuple{std::string("PK\1\2"), 24, 46}}) {
        for (std::size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 1))
            if (bytes.compare(at + static_cast<std::size_t>(nameAt), entry.size(), entry) == 0)
                put(at + static_cast<std::size_t>(sizeAt));
    }
    f.seekp(0);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(ZipTest, NothingAboveTheLimitsIsWritten) {
    // Four members fill the total to a little under its limit; the fifth passes it.
    const std::string member(rt::kMaxTotalSize / 4 - 1024, '\0');
    ASSERT_LE(member.size(), rt::kMaxEntrySize);
    const std::string oversized(rt::kMaxEntrySize + 1, '\0');
    RawArchive::Make(Path("big.zip"), {{"a.xml", member},
                                       {"huge.xml", oversized},
                                       {"b.xml", member},
                                       {"c.xml", member},
                                       {"d.xml", member},
                                       {"e.xml", member},
                                       {"small.xml", "<s/>"}});
    rt::Zip z;
    std::vector<rt::SkippedFile> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) { skipped.push_back(f); };
    z.filestoprocess = "*";
    z.preservepaths = false;
    z.processsubfolders = true;
    z.unziptofolder = Path("in");
    z.zipfilename = Path("big.zip");
    EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].filename, "huge.xml");
    EXPECT_EQ(skipped[0].reason, rt::SkipReason::TooLarge);
    EXPECT_EQ(skipped[1].filename, "e.xml");
    EXPECT_EQ(skipped[1].reason, rt::SkipReason::TooMuch);
    EXPECT_EQ(
        z.geterrordescription(0, rt::kZipFilesSkipped),
        "有文件被跳过：huge.xml（超过每个文件 " + std::to_string(rt::kMaxEntrySize >> 20) + " MiB 的上限）");

    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(root_ / "in")) {
        EXPECT_LE(e.file_size(), rt::kMaxEntrySize) << e.path();
        total += e.file_size();
    }
    EXPECT_LE(total, rt::kMaxTotalSize);
    EXPECT_EQ(Files(), (std::vector<std::string>{"big.zip", "in/a.xml", "in/b.xml", "in/c.xml", "in/d.xml",
                                                 "in/small.xml"}));

    // A directory that understates an entry's size: what is inflated counts, and the entry is
    // refused as too large once it passes the limit, not written whole and found damaged after.
    fs::remove_all(root_ / "in");
    skipped.clear();
    RawArchive::Make(Path("lying.zip"), {{"lies.xml", oversized}, {"small.xml", "<s/>"}});
    UnderstateSize(Path("lying.zip"), "lies.xml", 100);
    z.zipfilename = Path("lying.zip");
    EXPECT_EQ(z.unzip(), rt::kZipFilesSkipped);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].filename, "lies.xml");
    EXPECT_EQ(skipped[0].reason, rt::SkipReason::TooLarge);
    EXPECT_EQ(Files(), (std::vector<std::string>{"big.zip", "in/small.xml", "lying.zip"}));

    // A directory of more entries than such an archive can have is refused before it is read.
    fs::remove_all(root_ / "in");
    std::vector<RawArchive::Entry> many;
    for (std::uint64_t k = 0; k <= rt::kMaxEntries; ++k) many.push_back({"e" + std::to_string(k), ""});
    many.push_back({"small.xml", "<s/>"});
    RawArchive::Make(Path("many.zip"), many);
    z.zipfilename = Path("many.zip");
    EXPECT_EQ(z.unzip(), rt::kZipTooManyEntries);
    EXPECT_FALSE(fs::exists(root_ / "in" / "small.xml"));
    many.erase(many.begin(), many.begin() + 2);
    RawArchive::Make(Path("many.zip"), many);
    EXPECT_EQ(z.unzip(), 0) << "as many as may be";
    EXPECT_TRUE(fs::exists(root_ / "in" / "small.xml"));
}

// The archive rewritten as packers that always write the 64-bit end records write it: the plain end
// record holds only the markers that send a reader on to the 64-bit record, which a locator before
// it points to. `claimed` entries are stated there, the archive's own count when 0; without
// `withRecord` the markers stand alone.
void AsZip64(const std::string& path, std::uint64_t claimed = 0, bool withRecord = true) {
    std::string bytes = testing_support::FileBytes(rt::FsPath(path));
    const std::size_t end = bytes.size() - 22;  // libzip writes no archive comment
    ASSERT_EQ(bytes.compare(end, 4, "PK\5\6"), 0);
    const auto field = [&](std::size_t at, int size) {
        std::uint64_t v = 0;
        for (int k = size - 1; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
        return v;
    };
    const std::uint64_t entries = claimed != 0 ? claimed : field(end + 10, 2);
    const std::uint64_t directorySize = field(end + 12, 4), directoryAt = field(end + 16, 4);
    std::string out = bytes.substr(0, end);
    const auto put = [&out](std::uint64_t v, int size) {
        for (int k = 0; k < size; ++k) out += static_cast<char>(v >> (8 * k));
    };
    if (withRecord) {
        const std::uint64_t recordAt = out.size();
        out += "PK\6\6";
        put(44, 8);  // the record's size after this field
        put(45, 2);  // made by, needed: 4.5
        put(45, 2);
        put(0, 4);  // this disk, the directory's disk
        put(0, 4);
        put(entries, 8);
        put(entries, 8);
        put(directorySize, 8);
        put(directoryAt, 8);
        out += "PK\6\7";
        put(0, 4);
        put(recordAt, 8);
        put(1, 4);
    }
    out += "PK\5\6";
    put(0, 2);
    put(0, 2);
    put(0xFFFF, 2);
    put(0xFFFF, 2);
    put(0xFFFFFFFF, 4);
    put(0xFFFFFFFF, 4);
    put(0, 2);
    std::ofstream(rt::FsPath(path), std::ios::binary | std::ios::trunc) << out;
}

TEST_F(ZipTest, AZip64ArchiveIsJudgedByItsOwnEndRecord) {
    rt::Zip z;
    z.filestoprocess = "*";
    z.unziptofolder = Path("in");
    z.zipfilename = Path("wide.DAT");
    RawArchive::Make(z.zipfilename, {{"xm_base.xml", "<base/>"}, {"xm_ry.xml", "<ry/>"}});
    AsZip64(z.zipfilename);
    EXPECT_EQ(z.unzip(), 0) << z.geterrordescription(0, z.unzip());
    EXPECT_EQ(Read("in/xm_base.xml"), "<base/>");
    EXPECT_EQ(Read("in/xm_ry.xml"), "<ry/>");

    // The 64-bit record's count is held to the limit as the plain one is, and markers with no
    // record behind them are taken at their word.
    for (const bool withRecord : {true, false}) {
        RawArchive::Make(z.zipfilename, {{"xm_base.xml", "<base/>"}});
        AsZip64(z.zipfilename, rt::kMaxEntries + 1, withRecord);
        EXPECT_EQ(z.unzip(), rt::kZipTooManyEntries) << withRecord;
    }
}

TEST_F(ZipTest, FailuresComeBackAsCodesWithDescriptions) {
    rt::Zip z;
    z.unziptofolder = Path("t");
    z.zipfilename = Path("missing.zip");
    EXPECT_EQ(z.unzip(), rt::kZipCannotOpen);
    Write("text.DAT", "this is no archive at all");
    z.zipfilename = Path("text.DAT");
    EXPECT_EQ(z.unzip(), rt::kZipNotAnArchive);
    {
        const testing_support::IdlePipe pipe(root_ / "pipe.DAT");
        z.zipfilename = Path("pipe.DAT");
        EXPECT_EQ(z.unzip(), rt::kZipCannotOpen);
        EXPECT_FALSE(pipe.Waited()) << "a named pipe is refused, not waited on";
    }
    z.zipfilename.clear();
    EXPECT_EQ(z.unzip(), rt::kZipNoArchiveName);

    z.zipfilename = Path("new.zip");
    z.filestoprocess = Path("nowhere") + "/*";
    EXPECT_EQ(z.zip(), rt::kZipSourceMissing);
    fs::create_directories(root_ / "empty");
    z.filestoprocess = Path("empty") + "/*";
    EXPECT_EQ(z.zip(), rt::kZipNothingToDo);
    EXPECT_FALSE(fs::exists(root_ / "new.zip"));

    for (long code = 1; code <= 9; ++code) {
        EXPECT_FALSE(z.geterrordescription(0, code).empty()) << code;
        EXPECT_NE(z.geterrordescription(0, code), z.geterrordescription(0, 999)) << code;
    }
}

// ---- XML -------------------------------------------------------------------------------------

using XmlTest = Sandbox;

TEST_F(XmlTest, OnlyWellFormedSafeDocumentsPass) {
    struct Case {
        std::string bytes;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\n<a>1</a>\n</r>\n", true},
        {"\xEF\xBB\xBF<r>甲</r>", true},
        {"<r><a></r>", false},
        {"<r/><r/>", false},
        {"text<r/>", false},
        {"<r/>text", false},
        {"", false},
        {"<r>\x01</r>", false},
        {"<r>\xD6\xD0</r>", false},  // GBK bytes in a file that says nothing of its encoding
        {"<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]><r>&b;</r>",
         false},
        {"<!DOCTYPE r SYSTEM \"file:///etc/passwd\"><r/>", false},
        {"<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><r/>", false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Write("c.xml", cases[i].bytes);
        const long rc = rt::xml::XMLParseFile(Path("c.xml"));
        EXPECT_EQ(rc == 0, cases[i].ok) << i << ": " << rc;
        EXPECT_EQ(rt::xml::Document::BuildFromFile(Path("c.xml")).has_value(), cases[i].ok) << i;
    }
    EXPECT_EQ(rt::xml::XMLParseFile(Path("none.xml")), rt::xml::kFileNotRead);
    EXPECT_EQ(rt::xml::XMLParseFile(root_.string()), rt::xml::kFileNotRead);

    // What a lenient parser lets through is not well-formed all the same.
    for (const char* malformed : {"<r>&nbsp;</r>", "<r>a & b</r>", "<r a='1' a='2'/>", "<r a='<'/>",
                                  "<r>]]></r>", "<r><!-- a -- b --></r>", "<r>&#x41</r>"}) {
        Write("c.xml", malformed);
        EXPECT_EQ(rt::xml::XMLParseFile(Path("c.xml")), rt::xml::kMalformed) << malformed;
    }

    // Too large: refused before it is read.
    { std::ofstream(root_ / "big.xml") << "<r>"; }
    fs::resize_file(root_ / "big.xml", rt::xml::kMaxFileSize + 1);
    EXPECT_EQ(rt::xml::XMLParseFile(Path("big.xml")), rt::xml::kFileTooLarge);
    // Or once it is UTF-8, from any encoding: the text is measured as the conversion goes.
    const auto chinese = [](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += "中";
        return s;
    };
    const std::size_t fits = rt::xml::kMaxTextSize / 3 - 20, passes = rt::xml::kMaxTextSize / 3 + 1;
    for (const char* encoding : {"GBK", "UTF-16", "UTF-8"})
        for (const std::size_t n : {fits, passes}) {
            const std::string text =
                std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?><r>" + chinese(n) + "</r>";
            rt::Iconv to(encoding, "UTF-8");
            Write("encoded.xml", *to.Convert(text));
            EXPECT_EQ(rt::xml::XMLParseFile(Path("encoded.xml")),
                      n == fits ? 0L : static_cast<long>(rt::xml::kFileTooLarge))
                << encoding << " " << n;
        }

    // Deep nesting neither crashes the parser nor the reader.
    const auto nested = [](std::size_t depth) {
        std::string xml;
        for (std::size_t i = 0; i < depth; ++i) xml += "<d>";
        for (std::size_t i = 0; i < depth; ++i) xml += "</d>";
        return xml;
    };
    Write("deep.xml", nested(rt::xml::kMaxMarkup / 2));
    auto doc = rt::xml::Document::BuildFromFile(Path("deep.xml"));
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->Root().ChildElements().size(), 1u);

    // A small file of many empty elements or attributes is refused before it takes memory.
    Write("deep.xml", nested(rt::xml::kMaxMarkup / 2 + 1));
    EXPECT_EQ(rt::xml::XMLParseFile(Path("deep.xml")), rt::xml::kTooManyNodes);
    std::string wide = "<r>";
    for (std::size_t i = 0; i <= rt::xml::kMaxMarkup; ++i) wide += "<a/>";
    Write("wide.xml", wide + "</r>");
    EXPECT_EQ(rt::xml::XMLParseFile(Path("wide.xml")), rt::xml::kTooManyNodes);
    std::string attributes = "<r";
    for (std::size_t i = 0; i <= rt::xml::kMaxMarkup; ++i) attributes += " a" + std::to_string(i) + "=''";
    Write("attributes.xml", attributes + "/>");
    EXPECT_EQ(rt::xml::XMLParseFile(Path("attributes.xml")), rt::xml::kTooManyNodes);

    // Characters that XML forbids are refused as references too; those it admits pass.
    for (const char* forbidden : {"&#1;", "&#x1F;", "&#xFFFE;", "&#xFFFF;", "&#xD800;", "&#0;"}) {
        Write("ref.xml", std::string("<r><a b='") + forbidden + "'/></r>");
        EXPECT_EQ(rt::xml::XMLParseFile(Path("ref.xml")), rt::xml::kBadEncoding) << forbidden;
        Write("ref.xml", std::string("<r><a>x") + forbidden + "</a></r>");
        EXPECT_EQ(rt::xml::XMLParseFile(Path("ref.xml")), rt::xml::kBadEncoding) << forbidden;
    }
    Write("ref.xml", "<r><a>&#9;&#13;&#x4E2D;&#x1F600;&#65533;</a><![CDATA[&#1;]]></r>");
    auto refs = rt::xml::Document::BuildFromFile(Path("ref.xml"));
    ASSERT_TRUE(refs.has_value());
    EXPECT_EQ(refs->Root().ChildElement("a").Text(), "\t\r中\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST_F(XmlTest, ContentCountsEveryNodeAndTextsComeBackExactly) {
    Write("m.xml",
          "<root>\n  <row><a>x &lt;&amp;&gt; 甲</a><!--c--><b/>\n<?pi data?><c><![CDATA[<raw>]]> "
          "tail</c></row>\n"
          "  <other><a>1&#13;\n2</a></other>\n</root>");
    auto doc = rt::xml::Document::BuildFromFile(Path("m.xml"));
    ASSERT_TRUE(doc.has_value());
    rt::xml::Node root = doc->Root();
    doc.reset();  // nodes keep their document alive
    EXPECT_EQ(root.Name(), "root");
    ASSERT_EQ(root.ChildElements().size(), 2u);
    EXPECT_EQ(root.Content().size(), 5u) << "text between rows counts as content";

    const rt::xml::Node row = root.ChildElement("row");
    const auto content = row.Content();
    ASSERT_EQ(content.size(), 6u);
    using K = rt::xml::NodeKind;
    EXPECT_EQ(content[0].Text(), "x <&> 甲");
    EXPECT_EQ(content[1].Kind(), K::Comment);
    EXPECT_EQ(content[2].Text(), "");
    EXPECT_EQ(content[3].Kind(), K::Text);
    EXPECT_EQ(content[3].Text(), "\n");
    EXPECT_EQ(content[4].Kind(), K::ProcessingInstruction);
    EXPECT_EQ(content[5].Text(), "<raw> tail");

    EXPECT_EQ(root.ChildElement("other").ChildElement("a").Text(), "1\r\n2");
    EXPECT_TRUE(root.ChildElement("missing").IsNull());
    EXPECT_TRUE(root.ChildElement("missing").Content().empty());
}

TEST_F(XmlTest, FilesDeclaredInChineseEncodingsAreConverted) {
    for (const std::string enc : {"GB2312", "gbk", "GB18030"}) {
        const auto gbk =
            rt::Utf8ToGbk("<?xml version=\"1.0\" encoding=\"" + enc + "\"?><r><a>项目名称：甲乙</a></r>");
        ASSERT_TRUE(gbk.has_value());
        Write("g.xml", *gbk);
        EXPECT_EQ(rt::xml::XMLParseFile(Path("g.xml")), 0) << enc;
        auto doc = rt::xml::Document::BuildFromFile(Path("g.xml"));
        ASSERT_TRUE(doc.has_value()) << enc;
        EXPECT_EQ(doc->Root().ChildElement("a").Text(), "项目名称：甲乙") << enc;
    }
    // Bytes that are not GBK in a file that says GBK.
    Write("bad.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><r>\xFF\xFF</r>");
    EXPECT_NE(rt::xml::XMLParseFile(Path("bad.xml")), 0);
}

// ---- a DataWindow saved as XML ---------------------------------------------------------------

using SaveAsXmlTest = Sandbox;

TEST_F(SaveAsXmlTest, RowsHoldOneElementPerColumnInOrderWithNullsInPlace) {
    schema::RegisterDataObjects();
    rt::DataWindow dw("dw_getaward");
    ASSERT_EQ(dw.InsertRow(0), 1);
    ASSERT_EQ(dw.InsertRow(0), 2);
    dw.SetItem(1, "xm_id", rt::Value("201800000001"));
    dw.SetItem(1, "jx_id", rt::Value(1));
    dw.SetItem(1, "jx_xmname", rt::Value("a<b & c>d]]>\r\n第二行"));
    dw.SetItem(1, "jx_date", rt::Value(rt::Date{1, 1, 1}));
    dw.SetItem(1, "jx_name", rt::Value("  奖  "));
    dw.SetItem(1, "jx_grade", rt::Value("x\x01y"));  // XML 1.0 cannot carry U+0001
    dw.SetItem(2, "jx_id", rt::Value(2));
    ASSERT_EQ(rt::SaveAsXml(dw, Path("hj.xml"), "xm_hj", "xm_hj_row"), 1);

    const std::string raw = Read("hj.xml");
    EXPECT_NE(raw.find("<xm_hj_row><xm_id>201800000001</xm_id><jx_id>1</jx_id>"), std::string::npos) << raw;

    auto doc = rt::xml::Document::BuildFromFile(Path("hj.xml"));
    ASSERT_TRUE(doc.has_value()) << raw;
    const rt::xml::Node root = doc->Root();
    EXPECT_EQ(root.Name(), "xm_hj");
    const auto rows = root.ChildElements();
    ASSERT_EQ(rows.size(), 2u);
    const std::vector<std::string> names = {"xm_id",   "jx_id",    "jx_xmname",   "jx_date",
                                            "jx_name", "jx_grade", "jx_grantdept"};
    std::vector<std::string> texts;
    for (const auto& row : rows) {
        EXPECT_EQ(row.Name(), "xm_hj_row");
        const auto content = row.Content();
        ASSERT_EQ(content.size(), names.size());
        for (std::size_t k = 0; k < content.size(); ++k) {
            EXPECT_TRUE(content[k].IsElement());
            EXPECT_EQ(content[k].Name(), names[k]);
            texts.push_back(content[k].Text());
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"201800000001", "1", "a<b & c>d]]>\r\n第二行", "0001-01-01",
                                               "  奖  ", "xy", "", "", "2", "", "", "", "", ""}));

    // An object with no rows still gives its root element.
    rt::DataWindow empty("dw_zl");
    ASSERT_EQ(rt::SaveAsXml(empty, Path("zl.xml")), 1);
    auto zl = rt::xml::Document::BuildFromFile(Path("zl.xml"));
    ASSERT_TRUE(zl.has_value());
    EXPECT_EQ(zl->Root().Name(), "dw_zl");
    EXPECT_TRUE(zl->Root().ChildElements().empty());
    EXPECT_EQ(rt::SaveAsXml(empty, Path("no/such/folder/zl.xml")), -1);
}

}  // namespace
