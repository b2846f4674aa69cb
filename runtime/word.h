#pragma once
// A word processor in the program's own process, driven like an automation server: attach to (or
// start) the application, make a new document from a template, write texts into bookmarks and
// table cells, protect, save, close, quit. Documents are OOXML word-processing files (.docx).
//
// Every call that cannot be carried out (no such bookmark, table or cell, no active document, a file
// that cannot be read or written) throws rt::word::Error; the command that drives the engine catches
// it, reports it and ends.

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
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Attaches to the engine of this process when one is running: 0, or a non-zero status.
    int ConnectToObject(std::string_view file, std::string_view className);
    // Starts the engine (when it is not running) and attaches: 0, or a non-zero status. The class
    // must be "word.application".
    int ConnectToNewObject(std::string_view className);
    // Releases the connection; the engine and its documents stay (like a running server).
    int DisconnectObject();

    // documents.add(template, newTemplate): a new document made from the file, which becomes the
    // active document. The file itself is never changed.
    Document& DocumentsAdd(const std::string& templatePath, bool newTemplate = false);
    Document& ActiveDocument();

    void SetVisible(bool on);
    bool Visible() const;
    // The version the engine reports, "12.0".
    std::string Version() const;
    // Ends the engine: every open document is closed without saving.
    void Quit();

private:
    bool connected_ = false;
};

class Document {
public:
    virtual ~Document() = default;
    // bookmarks.item(name).range.text = text: the bookmark's content becomes the text ("\r" or "\n"
    // start new lines); the bookmark stays around the new text.
    virtual void SetBookmarkText(std::string_view name, std::string_view text) = 0;
    virtual bool HasBookmark(std::string_view name) const = 0;
    // tables.item(table).cell(row, column).range.text = text; tables are the top-level tables in
    // document order, rows and columns count from 1.
    virtual void SetCellText(int table, int row, int column, std::string_view text) = 0;
    virtual std::string CellText(int table, int row, int column) const = 0;
    virtual std::string BookmarkText(std::string_view name) const = 0;
    virtual int TableCount() const = 0;
    // protect(type, noReset, password, ...): type 2 form fields, 3 read only (stored as the
    // document's protection with the password's hash).
    virtual void Protect(int type, bool noReset, std::string_view password) = 0;
    // Written to a temporary file beside the target and renamed, so a failed save leaves the old
    // file whole.
    virtual void SaveAs(const std::string& path) = 0;
    virtual void Close() = 0;
};

}  // namespace rt::word
