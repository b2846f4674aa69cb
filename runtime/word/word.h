#pragma once
// A word processor in the program's own process, driven like an automation server: attach to (or
// start) the application, make a new document from a template, write texts into bookmarks and
// table cells, protect, save, close, quit. Documents are OOXML word-processing files (.docx).
//
// Every call that cannot be carried out (no such bookmark, table or cell, no active document, a file
// that cannot be read or written) throws rt::word::Error; the command that drives the engine catches
// it, reports it and ends.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rt::word {

class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Document;

// The connection object ("myword"): one per run, like an automation object.
class Application {
  public:
    Application();
    ~Application() = default;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Attaches to the engine of this process when one is running: 0, or a non-zero status (-2 a
    // class other than "word.application", in any case; -5 no engine running; -1 a file name, which
    // the engine does not attach through).
    int ConnectToObject(std::string_view file, std::string_view className);
    // Starts the engine (when it is not running) and attaches: 0, or a non-zero status (-2 a class
    // other than "word.application"; -3 the engine cannot be started). A fresh engine is hidden.
    int ConnectToNewObject(std::string_view className);
    // Releases the connection; the engine and its documents stay (like a running server).
    int DisconnectObject();

    // documents.add(template, newTemplate): a new document made from the file (a document or a
    // template; what is made is always a document), which becomes the active document. The file
    // itself is never changed. Every call below throws Error without a connection to a running
    // engine.
    Document& DocumentsAdd(const std::string& templatePath, bool newTemplate = false);
    Document& ActiveDocument();

    void SetVisible(bool on);
    bool Visible() const;
    // The version the engine reports, "12.0".
    std::string Version() const;
    // Ends the engine: every open document is closed without saving.
    void Quit();
    // documents.count: the documents open in the engine.
    int DocumentsCount() const;

    // Whether ConnectToNewObject can start the engine: an installation may go without it, and
    // tests take it away to see the program's answer (ConnectToNewObject then gives -3).
    static void SetEngineAvailable(bool available);

  private:
    bool connected_ = false;
};

class Document {
  public:
    virtual ~Document() = default;
    // bookmarks.item(name).range.text = text: the bookmark's content becomes the text ("\r" or "\n"
    // start new lines); the bookmark stays around the new text. Bookmark names are matched without
    // regard to case, as word processors do; an exact match wins over one that differs in case.
    // The new text takes the formatting of the first run the bookmark held (else of the text before
    // it, else of the paragraph).
    virtual void SetBookmarkText(std::string_view name, std::string_view text) = 0;
    virtual bool HasBookmark(std::string_view name) const = 0;
    // tables.item(table).cell(row, column).range.text = text; tables are the top-level tables in
    // document order, rows and columns count from 1; the columns of a row are its cells as they
    // stand, a merged cell counting once. The cell keeps its first paragraph's properties.
    virtual void SetCellText(int table, int row, int column, std::string_view text) = 0;
    // The texts as range.text reads them, without the end-of-cell mark: "\r" ends a paragraph
    // inside the text, "\n" is a line break, "\t" a tab.
    virtual std::string CellText(int table, int row, int column) const = 0;
    virtual std::string BookmarkText(std::string_view name) const = 0;
    virtual int TableCount() const = 0;
    // protect(type, noReset, password, ...): type 0 tracked changes, 1 comments, 2 form fields, 3
    // read only, stored as the document's enforced protection with the password's hash (no hash
    // for an empty password); it replaces a protection the document had.
    virtual void Protect(int type, bool noReset, std::string_view password) = 0;
    // Written to a temporary file beside the target and renamed, so a failed save leaves the old
    // file whole. The parts the engine did not change are written as they were read.
    virtual void SaveAs(const std::string& path) = 0;
    // Closes without saving; any later call on the document throws. The object itself stays valid
    // until the next documents.add or quit.
    virtual void Close() = 0;
};

// The hash that a protection stores for its password: the legacy 32-bit key of the password's first
// 15 characters, as eight upper-case hex digits of its little-endian bytes in UTF-16LE, salted in
// front and run through SHA-512 spinCount times more, each round with its 0-based number appended
// (four bytes, little-endian); base64. What the word processors compute to check a password.
std::string ProtectionHash(std::string_view password, std::string_view salt, std::uint32_t spinCount);

// The rounds of the hash that protect() stores with a password: 100,000, as the word processors
// make it. A test whose subject is not the hash may take fewer (a hundred thousand rounds take
// seconds under the sanitizers); the document says how many it took, so its password opens it all
// the same.
inline constexpr std::uint32_t kProtectionSpinCount = 100000;
std::uint32_t ProtectionSpinCount();
void SetProtectionSpinCount(std::uint32_t rounds);

}  // namespace rt::word
