// The zip component, the XML reader and a DataWindow saved as XML, on files in a private folder.
// Archives that no honest packer makes are built with libzip directly.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/datawindow.h"
#include "runtime/datawindow_xml.h"
#include "runtime/text.h"
#include "runtime/xml.h"
#include "runtime/zip.h"
#include "schema/dataobjects.h"

namespace {

namespace fs = std::filesystem;

class Sandbox : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("laurel-zipxml-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Path(const std::string& rel) const { return (root_ / rel).string(); }
    void Write(const std::string& rel, const std::string& bytes) const {
        fs::create_directories((root_ / rel).parent_path());
        std::ofstream(root_ / rel, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& rel) const {
        std::ifstream in(root_ / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Every file under the sandbox, relative, with '/' separators.
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (!e.is_directory()) out.push_back(e.path().lexically_relative(root_).generic_string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path root_;
};

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
                                                 (S_IFLNK | 0777u) << 16);
        }
        ASSERT_EQ(zip_close(z), 0);
    }
    static std::vector<std::string> Names(const std::string& path) {
        std::vector<std::string> out;
        int err = 0;
        zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &err);
        if (z == nullptr) return out;
        for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i)
            out.push_back(zip_get_name(z, static_cast<zip_uint64_t>(i), 0));
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
    Write("out/sub/extra.txt", "sub");
    fs::create_symlink("/etc/hostname", root_ / "out/link.xml");

    rt::Zip z;
    std::vector<rt::SkippedFile> skipped;
    z.SkippingFile = [&](const rt::SkippedFile& f) { skipped.push_back(f); };
    z.processsubfolders = true;
    z.filestoprocess = Path("out") + "/*";
    z.preservepaths = false;
    z.zipfilename = Path("pkg.DAT");
    // A link on disk is refused, not followed; the rest is packed.
    EXPECT_EQ(z.zip(), rt::kZipFilesSkipped);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].reason, rt::SkipReason::NotAFile);
    EXPECT_EQ(RawArchive::Names(Path("pkg.DAT")),
              (std::vector<std::string>{"extra.txt", "xm_base.xml", "xm_ry.xml"}));

    fs::remove(root_ / "out/link.xml");
    skipped.clear();
    EXPECT_EQ(z.zip(), 0) << "a second packing replaces the archive";
    EXPECT_EQ(RawArchive::Names(Path("pkg.DAT")).size(), 3u);

    z.filestoprocess = "*";
    z.unziptofolder = Path("in/deeper");
    EXPECT_EQ(z.unzip(), 0);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(Read("in/deeper/xm_base.xml"), "<a>甲</a>");
    EXPECT_EQ(Read("in/deeper/xm_ry.xml"), std::string(100000, 'x'));
    EXPECT_EQ(Read("in/deeper/extra.txt"), "sub");
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

TEST_F(ZipTest, FailuresComeBackAsCodesWithDescriptions) {
    rt::Zip z;
    z.unziptofolder = Path("t");
    z.zipfilename = Path("missing.zip");
    EXPECT_EQ(z.unzip(), rt::kZipCannotOpen);
    Write("text.DAT", "this is no archive at all");
    z.zipfilename = Path("text.DAT");
    EXPECT_EQ(z.unzip(), rt::kZipNotAnArchive);
    z.zipfilename.clear();
    EXPECT_EQ(z.unzip(), rt::kZipNoArchiveName);

    z.zipfilename = Path("new.zip");
    z.filestoprocess = Path("nowhere") + "/*";
    EXPECT_EQ(z.zip(), rt::kZipSourceMissing);
    fs::create_directories(root_ / "empty");
    z.filestoprocess = Path("empty") + "/*";
    EXPECT_EQ(z.zip(), rt::kZipNothingToDo);
    EXPECT_FALSE(fs::exists(root_ / "new.zip"));

    for (long code = 1; code <= 8; ++code) {
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

    // Too large: refused before it is read.
    { std::ofstream(root_ / "big.xml") << "<r>"; }
    fs::resize_file(root_ / "big.xml", rt::xml::kMaxFileSize + 1);
    EXPECT_EQ(rt::xml::XMLParseFile(Path("big.xml")), rt::xml::kFileTooLarge);

    // Deep nesting neither crashes the parser nor the reader.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<d>";
    for (int i = 0; i < 200000; ++i) deep += "</d>";
    Write("deep.xml", deep);
    auto doc = rt::xml::Document::BuildFromFile(Path("deep.xml"));
    ASSERT_TRUE(doc.has_value());
    EXPECT_EQ(doc->Root().ChildElements().size(), 1u);
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
