// The word-processing engine on small documents made here: bookmarks (case, formatting, line breaks,
// ranges over paragraphs), table cells (merged cells, nesting), protection, saving and reopening
// through the process-wide engine, and the errors of every call that cannot be carried out.

#include "runtime/word/word.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "runtime/platform/path.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

namespace {

namespace fs = std::filesystem;
using rt::word::Application;
using rt::word::Document;
using rt::word::Error;

constexpr const char* kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";

const char* kStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<w:styles xmlns:w=\"x\"><!-- kept as is --></w:styles>";

std::map<std::string, std::string> Package(const std::string& body) {
    return {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Default "
         "Extension=\"xml\" "
         "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
         "</Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml", std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document ") + kW +
                                  "><w:body>" + body + "</w:body></w:document>"},
        {"word/_rels/document.xml.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings\" "
         "Target=\"settings.xml\"/></Relationships>"},
        {"word/settings.xml",
         std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:settings ") + kW +
             "><w:zoom w:percent=\"100\"/><w:defaultTabStop w:val=\"420\"/></w:settings>"},
        {"word/styles.xml", kStyles},
    };
}

// `stored` names the parts written without compression.
void WriteZip(const fs::path& path, const std::map<std::string, std::string>& parts,
              const std::set<std::string>& stored = {}) {
    int code = 0;
    zip_t* za = zip_open(rt::PathText(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(za, nullptr);
    for (const auto& [name, text] : parts) {
        zip_source_t* src = zip_source_buffer(za, text.data(), text.size(), 0);
        const zip_int64_t index = zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0);
        if (stored.count(name) != 0) {
            ASSERT_EQ(zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0), 0);
        }
    }
    ASSERT_EQ(zip_close(za), 0);
}

// How the archive stores a part: its method, compressed size and checksum.
std::tuple<int, zip_uint64_t, zip_uint32_t> Storage(const fs::path& path, const std::string& name) {
    int code = 0;
    zip_t* za = zip_open(rt::PathText(path).c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) return {-1, 0, 0};
    zip_stat_t st;
    const bool found = zip_stat(za, name.c_str(), 0, &st) == 0;
    zip_discard(za);
    if (!found) return {-1, 0, 0};
    return {st.comp_method, st.comp_size, st.crc};
}

std::string ReadPart(const fs::path& path, const std::string& name) {
    int code = 0;
    zip_t* za = zip_open(rt::PathText(path).c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) return "<no archive>";
    zip_stat_t st;
    std::string out = "<no part>";
    if (zip_stat(za, name.c_str(), 0, &st) == 0) {
        out.assign(st.size, '\0');
        zip_file_t* f = zip_fopen(za, name.c_str(), 0);
        zip_fread(f, out.data(), st.size);
        zip_fclose(f);
    }
    zip_discard(za);
    return out;
}

using testing_support::FileBytes;

std::string Decode64(const std::string& in) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=') break;
        bits = (bits << 6) | static_cast<unsigned>(kAlphabet.find(c));
        if ((count += 6) >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string Bookmark(int id, const std::string& name, const std::string& inside = "") {
    const std::string n = std::to_string(id);
    return "<w:bookmarkStart w:id=\"" + n + "\" w:name=\"" + name + "\"/>" + inside +
           "<w:bookmarkEnd w:id=\"" + n + "\"/>";
}

std::string RunXml(const std::string& text, const std::string& rPr = "") {
    return "<w:r>" + (rPr.empty() ? "" : "<w:rPr>" + rPr + "</w:rPr>") + "<w:t xml:space=\"preserve\">" +
           text + "</w:t></w:r>";
}

std::string Cell(const std::string& content, const std::string& tcPr = "") {
    return "<w:tc>" + (tcPr.empty() ? "" : "<w:tcPr>" + tcPr + "</w:tcPr>") + content + "</w:tc>";
}

class WordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device r;
        dir_ = fs::temp_directory_path() / ("laurel-word-" + std::to_string(r()));
        fs::create_directories(dir_);
        ASSERT_EQ(app_.ConnectToNewObject("word.application"), 0);
    }
    void TearDown() override {
        Application::SetEngineAvailable(true);
        Application cleanup;
        if (cleanup.ConnectToObject("", "word.application") == 0) cleanup.Quit();
        fs::remove_all(dir_);
    }

    fs::path Make(const std::string& name, const std::string& body) {
        fs::path p = dir_ / name;
        WriteZip(p, Package(body));
        return p;
    }
    Document& Open(const std::string& body) { return app_.DocumentsAdd(Make("t.docx", body).string()); }

    // The saved document's body, parsed.
    pugi::xml_node SavedBody(Document& doc) {
        const fs::path out = dir_ / "saved.docx";
        doc.SaveAs(out.string());
        const std::string xml = ReadPart(out, "word/document.xml");
        EXPECT_TRUE(saved_.load_buffer(xml.data(), xml.size())) << xml;
        return saved_.document_element().child("w:body");
    }

    fs::path dir_;
    Application app_;
    pugi::xml_document saved_;
};

// ---- bookmarks ---------------------------------------------------------------------------------

TEST_F(WordTest, BookmarkTextReplacesTheRangeWithTheFirstRunsFormatAndTheBookmarkStays) {
    Document& doc =
        Open("<w:p>" + RunXml("Label:", "<w:b/>") +
             Bookmark(1, "xm_name", RunXml("old", "<w:i/>") + RunXml(" more", "<w:u w:val=\"single\"/>")) +
             RunXml(" tail") + "</w:p>");
    doc.SetBookmarkText("xm_name", "项目甲");
    EXPECT_EQ(doc.BookmarkText("xm_name"), "项目甲");
    doc.SetBookmarkText("xm_name", "second");  // the bookmark is still there to be written again
    EXPECT_EQ(doc.BookmarkText("xm_name"), "second");

    pugi::xml_node p = SavedBody(doc).child("w:p");
    std::vector<std::string> runs;
    for (pugi::xml_node r : p.children("w:r")) runs.emplace_back(r.child("w:t").text().get());
    EXPECT_EQ(runs, (std::vector<std::string>{"Label:", "second", " tail"}));
    pugi::xml_node value = p.child("w:bookmarkStart").next_sibling();
    EXPECT_TRUE(value.child("w:rPr").child("w:i")) << "the first run's format";
    EXPECT_FALSE(value.child("w:rPr").child("w:b"));
    EXPECT_STREQ(value.next_sibling().name(), "w:bookmarkEnd");
}

TEST_F(WordTest, BookmarkNamesMatchWithoutRegardToCaseButAnExactNameWins) {
    Document& doc = Open("<w:p>" + Bookmark(1, "XM_Zongtz") + "</w:p><w:p>" + Bookmark(2, "xm_askno") +
                         "</w:p><w:p>" + Bookmark(3, "Dup") + Bookmark(4, "DUP") + "</w:p>");
    EXPECT_TRUE(doc.HasBookmark("xm_zongtz"));
    doc.SetBookmarkText("xm_zongtz", "1,234.50");
    doc.SetBookmarkText("XM_ASKNO", "2008 0101");
    EXPECT_EQ(doc.BookmarkText("XM_Zongtz"), "1,234.50");
    EXPECT_EQ(doc.BookmarkText("xm_askno"), "2008 0101");
    doc.SetBookmarkText("DUP", "upper");
    EXPECT_EQ(doc.BookmarkText("Dup"), "");
    EXPECT_EQ(doc.BookmarkText("DUP"), "upper");
    EXPECT_FALSE(doc.HasBookmark("xm_askn"));
    EXPECT_THROW(doc.SetBookmarkText("XM_NOSUCH", "x"), Error);
}

TEST_F(WordTest, LineBreaksTabsAndUnfitCharactersInText) {
    Document& doc = Open("<w:p>" + Bookmark(1, "T") + "</w:p>");
    // A character cut short at the end of the text, after a whole one of the same bytes.
    doc.SetBookmarkText("T", std::string("a\nb\r\nc\rd\te\x01") + "f\xff <&>中\xe4\xb8");
    EXPECT_EQ(doc.BookmarkText("T"), "a\nb\nc\nd\tef\uFFFD <&>中\uFFFD\uFFFD");
    pugi::xml_node run = SavedBody(doc).child("w:p").child("w:r");
    int breaks = 0, tabs = 0;
    for (pugi::xml_node c : run.children()) {
        breaks += std::string_view(c.name()) == "w:br";
        tabs += std::string_view(c.name()) == "w:tab";
    }
    EXPECT_EQ(breaks, 3);
    EXPECT_EQ(tabs, 1);
    EXPECT_STREQ(run.last_child().text().get(), "ef\uFFFD <&>中\uFFFD\uFFFD");
}

TEST_F(WordTest, AnEmptyBookmarkTakesTheFormatBeforeIt) {
    Document& doc =
        Open("<w:p>" + RunXml("推荐号：", "<w:b/>") + Bookmark(1, "after") + "</w:p>" +
             "<w:p><w:pPr><w:rPr><w:ins w:id=\"9\" w:author=\"a\"/><w:sz w:val=\"21\"/></w:rPr></w:pPr>" +
             Bookmark(2, "mark") + "</w:p>");
    doc.SetBookmarkText("after", "x");
    doc.SetBookmarkText("mark", "y");
    doc.SetBookmarkText("mark", "");  // an empty text leaves the range empty
    EXPECT_EQ(doc.BookmarkText("mark"), "");
    doc.SetBookmarkText("mark", "z");
    pugi::xml_node body = SavedBody(doc);
    pugi::xml_node first = body.child("w:p").child("w:bookmarkStart").next_sibling();
    EXPECT_TRUE(first.child("w:rPr").child("w:b"));
    pugi::xml_node second = body.child("w:p").next_sibling("w:p").child("w:r");
    EXPECT_STREQ(second.child("w:t").text().get(), "z");
    EXPECT_TRUE(second.child("w:rPr").child("w:sz"));
    EXPECT_FALSE(second.child("w:rPr").child("w:ins")) << "revision marks belong to the paragraph mark only";
}

TEST_F(WordTest, ABookmarkOverParagraphsJoinsThemAndKeepsOtherBookmarks) {
    Document& doc = Open(
        "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr>" + RunXml("before ") +
        "<w:bookmarkStart w:id=\"1\" w:name=\"span\"/>" + RunXml("one") + "</w:p><w:p>" + RunXml("two") +
        Bookmark(2, "inner") + "</w:p><w:tbl/><w:p><w:pPr><w:jc w:val=\"right\"/></w:pPr>" + RunXml("three") +
        "<w:bookmarkEnd w:id=\"1\"/>" + RunXml(" after") + "</w:p><w:p>" + RunXml("last") + "</w:p>");
    EXPECT_EQ(doc.BookmarkText("span"), "one\rtwo\rthree");
    EXPECT_EQ(doc.TableCount(), 1);
    doc.SetBookmarkText("span", "new");
    EXPECT_EQ(doc.TableCount(), 0);
    // The bookmark that the range held stands collapsed before the new text, and takes text there.
    doc.SetBookmarkText("inner", "i ");
    EXPECT_EQ(doc.BookmarkText("inner"), "i ");
    EXPECT_EQ(doc.BookmarkText("span"), "i new");
    pugi::xml_node body = SavedBody(doc);
    pugi::xml_node p = body.child("w:p");
    EXPECT_STREQ(p.child("w:pPr").child("w:jc").attribute("w:val").value(), "center");
    std::string text;
    for (pugi::xml_node r : p.children("w:r")) text += r.child("w:t").text().get();
    EXPECT_EQ(text, "before i new after");
    EXPECT_STREQ(p.next_sibling("w:p").child("w:r").child("w:t").text().get(), "last");
    EXPECT_EQ(std::distance(body.children("w:p").begin(), body.children("w:p").end()), 2);
}

TEST_F(WordTest, BookmarksBetweenParagraphsAndInsideLinksTakeText) {
    Document& doc =
        Open("<w:bookmarkStart w:id=\"1\" w:name=\"outer\"/><w:p>" + RunXml("old") +
             "</w:p><w:bookmarkEnd w:id=\"1\"/><w:p><w:hyperlink w:anchor=\"x\">" +
             Bookmark(2, "link", RunXml("was", "<w:u w:val=\"single\"/>")) + "</w:hyperlink></w:p>");
    doc.SetBookmarkText("outer", "body level");
    doc.SetBookmarkText("link", "is");
    EXPECT_EQ(doc.BookmarkText("outer"), "body level");
    EXPECT_EQ(doc.BookmarkText("link"), "is");
    pugi::xml_node link = SavedBody(doc).child("w:p").next_sibling("w:p").child("w:hyperlink");
    EXPECT_TRUE(link.child("w:r").child("w:rPr").child("w:u"));
}

TEST_F(WordTest, ABookmarkAcrossTableCellsIsRefused) {
    Document& doc = Open("<w:tbl><w:tr>" + Cell("<w:p><w:bookmarkStart w:id=\"1\" w:name=\"x\"/></w:p>") +
                         Cell("<w:p><w:bookmarkEnd w:id=\"1\"/></w:p>") + "</w:tr></w:tbl>");
    EXPECT_THROW(doc.SetBookmarkText("x", "t"), Error);
    EXPECT_EQ(doc.TableCount(), 1);
}

// ---- tables ------------------------------------------------------------------------------------

TEST_F(WordTest, CellsCountTheCellsOfTheirRowAndKeepTheFirstParagraphsFormat) {
    const std::string nested = "<w:tbl><w:tr>" + Cell("<w:p/>") + "</w:tr></w:tbl>";
    Document& doc = Open("<w:p/><w:tbl><w:tr>" +
                         Cell("<w:p>" + RunXml("heading") + "</w:p>", "<w:gridSpan w:val=\"2\"/>") +
                         Cell("<w:p/>", "<w:vMerge w:val=\"restart\"/>") + "</w:tr><w:tr>" +
                         Cell("<w:p><w:pPr><w:jc w:val=\"right\"/></w:pPr>" + RunXml("9", "<w:b/>") +
                              "</w:p><w:p>" + RunXml("second paragraph") + "</w:p>" + nested + "<w:p/>") +
                         Cell("<w:p>" + Bookmark(5, "inCell", RunXml("k")) + "</w:p>") +
                         Cell("<w:p/>", "<w:vMerge/>") + "</w:tr></w:tbl><w:sdt><w:sdtContent><w:tbl><w:tr>" +
                         Cell("<w:p/>") + "</w:tr></w:tbl></w:sdtContent></w:sdt>");
    EXPECT_EQ(doc.TableCount(), 2)
        << "tables inside cells are not counted; content controls are seen through";
    EXPECT_EQ(doc.CellText(1, 1, 1), "heading");
    EXPECT_EQ(doc.CellText(1, 2, 1), "9\rsecond paragraph\r\r");
    EXPECT_EQ(doc.BookmarkText("inCell"), "k");
    doc.SetCellText(1, 1, 2, "merged");  // the second cell of row 1, after the one that spans two
    doc.SetCellText(1, 2, 3, "below");   // the continuation of a vertical merge is a cell of its row
    doc.SetCellText(1, 2, 1, "1,000.00");
    doc.SetCellText(1, 2, 2, "v");
    doc.SetCellText(2, 1, 1, "in a content control");
    EXPECT_EQ(doc.CellText(1, 2, 1), "1,000.00");
    EXPECT_EQ(doc.BookmarkText("inCell"), "v") << "a bookmark in a rewritten cell stays, around the new text";
    EXPECT_TRUE(doc.HasBookmark("inCell"));

    pugi::xml_node row2 = SavedBody(doc).child("w:tbl").child("w:tr").next_sibling("w:tr");
    pugi::xml_node tc = row2.child("w:tc");
    EXPECT_EQ(std::distance(tc.children("w:p").begin(), tc.children("w:p").end()), 1);
    EXPECT_FALSE(tc.child("w:tbl"));
    EXPECT_STREQ(tc.child("w:p").child("w:pPr").child("w:jc").attribute("w:val").value(), "right");
    EXPECT_TRUE(tc.child("w:p").child("w:r").child("w:rPr").child("w:b"));
    EXPECT_TRUE(
        row2.child("w:tc").next_sibling("w:tc").next_sibling("w:tc").child("w:tcPr").child("w:vMerge"));
}

TEST_F(WordTest, MissingTablesRowsAndCellsAreErrors) {
    Document& doc = Open("<w:tbl><w:tr>" + Cell("<w:p/>") + Cell("<w:p/>") + "</w:tr></w:tbl>");
    EXPECT_NO_THROW(doc.SetCellText(1, 1, 2, "x"));
    EXPECT_THROW(doc.SetCellText(2, 1, 1, "x"), Error);
    EXPECT_THROW(doc.SetCellText(0, 1, 1, "x"), Error);
    EXPECT_THROW(doc.SetCellText(1, 2, 1, "x"), Error);
    EXPECT_THROW(doc.SetCellText(1, 1, 3, "x"), Error);
    EXPECT_THROW(doc.CellText(1, 0, 1), Error);
}

// ---- protection --------------------------------------------------------------------------------

TEST(ProtectionHash, AgreesWithAHashAWordProcessorStored) {
    // Stored for the password "johnjohn" with this salt and 100000 rounds.
    EXPECT_EQ(rt::word::ProtectionHash("johnjohn", Decode64("pH1TDVHSfGBxkd3Q88UNhQ=="), 100000),
              "pVjR9ktO9vlxijXcMPlH+4PLwD4Xwy1aqbNQOFmWaSpvBjipNh//T8S3nBhq6HRoRVfWL6s/+NdUCPTxUr0vZw==");
}

TEST_F(WordTest, ProtectionIsStoredInTheSettingsInItsPlaceWithTheHash) {
    Document& doc = Open("<w:p/>");
    doc.Protect(2, false, "");
    doc.Protect(3, false, "Ann is a cat");  // replaces the first
    const fs::path out = dir_ / "p.docx";
    doc.SaveAs(out.string());
    pugi::xml_document settings;
    const std::string xml = ReadPart(out, "word/settings.xml");
    ASSERT_TRUE(settings.load_buffer(xml.data(), xml.size()));
    pugi::xml_node root = settings.document_element();
    pugi::xml_node dp = root.child("w:documentProtection");
    ASSERT_TRUE(dp);
    EXPECT_FALSE(dp.next_sibling("w:documentProtection"));
    EXPECT_STREQ(dp.previous_sibling().name(), "w:zoom");
    EXPECT_STREQ(dp.attribute("w:edit").value(), "readOnly");
    EXPECT_STREQ(dp.attribute("w:enforcement").value(), "1");
    EXPECT_STREQ(dp.attribute("w:cryptAlgorithmSid").value(), "14");
    EXPECT_EQ(dp.attribute("w:cryptSpinCount").as_uint(), 100000u);
    EXPECT_EQ(rt::word::ProtectionHash("Ann is a cat", Decode64(dp.attribute("w:salt").value()),
                                       dp.attribute("w:cryptSpinCount").as_uint()),
              dp.attribute("w:hash").value());
    EXPECT_THROW(doc.Protect(7, false, "x"), Error);
}

TEST_F(WordTest, ProtectingADocumentWithoutSettingsMakesThem) {
    auto parts = Package("<w:p/>");
    parts.erase("word/settings.xml");
    parts.erase("word/_rels/document.xml.rels");
    WriteZip(dir_ / "bare.docx", parts);
    Document& doc = app_.DocumentsAdd((dir_ / "bare.docx").string());
    doc.Protect(2, false, "");
    const fs::path out = dir_ / "bare-out.docx";
    doc.SaveAs(out.string());
    EXPECT_NE(ReadPart(out, "word/settings.xml").find("w:edit=\"forms\""), std::string::npos);
    EXPECT_EQ(ReadPart(out, "word/settings.xml").find("w:hash"), std::string::npos);
    EXPECT_NE(ReadPart(out, "word/_rels/document.xml.rels").find("settings.xml"), std::string::npos);
    EXPECT_NE(ReadPart(out, "[Content_Types].xml").find("/word/settings.xml"), std::string::npos);
}

// ---- the engine, saving and reopening ----------------------------------------------------------

TEST_F(WordTest, ADocumentSavedAndClosedByOneConnectionIsReopenedByTheNext) {
    const fs::path model = Make("model.docx", "<w:p>" + Bookmark(1, "xm_wcr") + "</w:p>");
    const std::string modelBytes = FileBytes(model);
    const fs::path work = dir_ / "2008 0101.docx";
    {
        Application first;
        ASSERT_EQ(first.ConnectToObject("", "word.application"), 0) << "the engine of the fixture runs";
        first.DocumentsAdd(model.string(), false).SetBookmarkText("xm_wcr", "甲, 乙");
        first.SetVisible(false);
        EXPECT_EQ(first.Version(), "12.0");
        first.ActiveDocument().SaveAs(work.string());
        first.ActiveDocument().Close();
        EXPECT_THROW(first.ActiveDocument(), Error);
        EXPECT_EQ(first.DisconnectObject(), 0);
    }
    EXPECT_EQ(FileBytes(model), modelBytes) << "the template is never changed";
    for (const fs::directory_entry& e : fs::directory_iterator(dir_))
        EXPECT_EQ(e.path().extension(), ".docx") << "no temporary file left: " << e.path();
    EXPECT_EQ(ReadPart(work, "word/styles.xml"), kStyles) << "a part the engine did not touch is copied";

    Application second;
    ASSERT_EQ(second.ConnectToObject("", "Word.Application"), 0);
    EXPECT_EQ(second.DocumentsCount(), 0);
    Document& again = second.DocumentsAdd(work.string(), false);
    EXPECT_EQ(again.BookmarkText("xm_wcr"), "甲, 乙");
    again.SaveAs(work.string());  // over the file it came from
    second.Quit();
    EXPECT_THROW(second.ActiveDocument(), Error);
    EXPECT_NE(second.ConnectToObject("", "word.application"), 0) << "nothing runs after quit";
    EXPECT_EQ(ReadPart(work, "word/styles.xml"), kStyles);
}

// A template is read once while it stays as it is, and what a document leaves of it is saved as the
// template stores it; rewritten, even to the same size, it is read again.
TEST_F(WordTest, AnUnchangedTemplateIsReadOnceAndWhatNobodyChangedIsSavedAsStored) {
    const fs::path model = dir_ / "model.docx";
    const auto write = [&](const std::string& text) {
        WriteZip(model, Package("<w:p>" + Bookmark(1, "B", RunXml(text)) + "</w:p>"), {"word/styles.xml"});
    };
    write("one");
    for (const char* text : {"first", "second"}) {
        Document& doc = app_.DocumentsAdd(model.string());
        EXPECT_EQ(doc.BookmarkText("B"), "one");
        doc.SetBookmarkText("B", text);
        const fs::path out = dir_ / (std::string(text) + ".docx");
        doc.SaveAs(out.string());
        doc.Close();
        EXPECT_EQ(Storage(out, "word/styles.xml"), Storage(model, "word/styles.xml"))
            << "a part nobody changed keeps the template's storage";
        EXPECT_EQ(std::get<0>(Storage(out, "word/document.xml")), ZIP_CM_DEFLATE);
        EXPECT_NE(ReadPart(out, "word/document.xml").find(text), std::string::npos);
    }
    write("two");
    EXPECT_EQ(app_.DocumentsAdd(model.string()).BookmarkText("B"), "two");
}

TEST_F(WordTest, FilesThatAreNoDocumentsAndFailedSavesAreErrors) {
    std::ofstream(dir_ / "plain.docx") << "this is not an archive";
    EXPECT_THROW(app_.DocumentsAdd((dir_ / "plain.docx").string()), Error);
    EXPECT_THROW(app_.DocumentsAdd((dir_ / "missing.docx").string()), Error);
    {
        // A named pipe would keep a reader waiting for a writer that never comes.
        const testing_support::IdlePipe pipe(dir_ / "pipe.docx");
        EXPECT_THROW(app_.DocumentsAdd((dir_ / "pipe.docx").string()), Error);
        EXPECT_FALSE(pipe.Waited()) << "a named pipe is refused, not waited on";
    }
    WriteZip(dir_ / "other.zip", {{"readme.txt", "hello"}});
    EXPECT_THROW(app_.DocumentsAdd((dir_ / "other.zip").string()), Error);
    auto broken = Package("<w:p>");
    WriteZip(dir_ / "broken.docx", broken);
    EXPECT_THROW(app_.DocumentsAdd((dir_ / "broken.docx").string()), Error);
    // A part whose bytes no longer match its checksum, although nothing would parse it.
    WriteZip(dir_ / "damaged.docx", Package("<w:p/>"), {"word/styles.xml"});
    std::string bytes = FileBytes(dir_ / "damaged.docx");
    bytes.replace(bytes.find("kept as is"), 10, "kept as iz");
    std::ofstream(dir_ / "damaged.docx", std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_THROW(app_.DocumentsAdd((dir_ / "damaged.docx").string()), Error);
    EXPECT_EQ(app_.DocumentsCount(), 0);

    Document& doc = Open("<w:p/>");
    const fs::path kept = dir_ / "kept.docx";
    std::ofstream(kept) << "old";
    EXPECT_THROW(doc.SaveAs((dir_ / "no-folder" / "x.docx").string()), Error);
    EXPECT_THROW(doc.SaveAs(dir_.string()), Error);
    EXPECT_EQ(FileBytes(kept), "old");
    doc.Close();
    EXPECT_THROW(doc.SetBookmarkText("x", "y"), Error);
    EXPECT_THROW(doc.SaveAs(kept.string()), Error);
}

TEST_F(WordTest, ConnectionStatusesAndCallsWithoutAConnection) {
    Application other;
    EXPECT_EQ(other.ConnectToObject("", "excel.application"), -2);
    EXPECT_EQ(other.ConnectToNewObject("excel.application"), -2);
    EXPECT_THROW(other.DocumentsAdd("x.docx"), Error) << "not connected";
    app_.Quit();
    Application::SetEngineAvailable(false);
    EXPECT_EQ(other.ConnectToObject("", "word.application"), -5);
    EXPECT_EQ(other.ConnectToNewObject("word.application"), -3);
    Application::SetEngineAvailable(true);
    EXPECT_EQ(other.ConnectToNewObject("word.application"), 0);
    EXPECT_FALSE(other.Visible());
    EXPECT_EQ(app_.ConnectToObject("", "word.application"), 0);
}

}  // namespace
