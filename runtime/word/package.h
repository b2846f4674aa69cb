#pragma once
// The package of a document: its parts as read from the file, the main part that the relationships
// name, the settings part (made when a document has none), and saving. A document made from a
// template is a document: the package says so from the start.
//
// A file is read and checked once per process while it stays as it is: a template that makes
// document after document is not inflated again for each, and the parts a document does not
// change are saved as the file stored them, without being inflated and deflated again.

#include <cstddef>
#include <deque>
#include <memory>
#include <pugixml.hpp>
#include <string>

namespace rt::word::package {

// The file as read: its bytes, and every part as the file stores it and as text, checked. Shared
// by every package read from the same bytes; never changed.
struct Source;

struct Part {
    // A part that the file did not have.
    static constexpr std::size_t kMade = static_cast<std::size_t>(-1);

    std::string name;
    std::size_t entry = kMade;                // the part of the file it was read from
    std::unique_ptr<pugi::xml_document> xml;  // once parsed
    bool dirty = false;
    std::string text;  // what the tree was parsed from in place, if it was
};

// The file's name alone, in quotation marks, as messages name it: the user chose the folder, and a
// full path would crowd out what went wrong.
std::string QuotedFileName(const std::string& path);

class Package {
  public:
    // Reads every part of the file; throws Error when it cannot be read, is far too large, or is
    // no document.
    explicit Package(const std::string& path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    // The file it was read from, as messages name it.
    const std::string& File() const { return file_; }

    // The main part (the constructor throws Error when the package has none).
    Part& Main() { return *main_; }
    pugi::xml_document& Xml(Part& part);
    // The settings part, made (with its relationship and content type) when the document has none.
    Part& Settings();

    // Written to a temporary file beside the target and renamed, so a failed save leaves the old
    // file whole; parts never parsed or left unchanged are written as the file stored them.
    void SaveAs(const std::string& path);

  private:
    Part* Find(const std::string& name);
    Part& NewXmlPart(const std::string& name, const char* rootName, const char* ns);
    std::string MainPartName();
    std::string MainRelsName() const;
    void MakeDocumentFromTemplate();
    std::string Archive();

    std::shared_ptr<const Source> source_;
    std::deque<Part> parts_;  // a deque, so that adding a part leaves the others where they are
    std::string file_;
    std::string mainName_;
    Part* main_ = nullptr;
    bool firstReading_ = false;  // this package read the file first
};

}  // namespace rt::word::package
