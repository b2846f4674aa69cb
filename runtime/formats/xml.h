#pragma once
// Reading XML files: a well-formedness test and a small read-only document model.
//
// Files arrive from other installations, so reading is defensive: a document type declaration is
// refused outright (no DTD, hence no entity of any kind beyond the five predefined ones and
// character references), files above a size limit are refused before they are read, a file that
// declares GB2312, GBK or GB18030 (or another encoding that iconv knows) is converted to UTF-8 first
// and refused as soon as the converted text passes its own limit, a document with more markup than a
// limit is refused before it is parsed (so that a small file of empty elements cannot take the
// memory of a large one), characters that XML 1.0 forbids are refused also when they come as
// character references ("&#1;"), and a conforming parser has the last word on well-formedness (an
// undeclared entity, a bare "&", an attribute given twice, "<" in an attribute value). Texts come
// out as UTF-8.
//
// The content of an element is every child node of any kind (elements, text, CDATA, comments,
// processing instructions), in document order, so that a reader sees every stray node and decides
// on it.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
struct xml_node_struct;
}

namespace rt::xml {

// Results of the well-formedness test besides 0 (well-formed).
enum ParseError : long {
    kFileNotRead = 1,      // missing, unreadable or a folder
    kFileTooLarge = 2,     // above kMaxFileSize, or above kMaxTextSize once in UTF-8
    kUnknownEncoding = 3,  // the declared encoding is not known
    kBadEncoding = 4,      // bytes that are not valid in the (declared) encoding, or a character
                           // that XML 1.0 forbids
    kDoctypeRefused = 5,   // <!DOCTYPE ...>
    kNoSingleRoot = 6,     // no root element, several, or text beside it
    kTooManyNodes = 7,     // more markup than kMaxMarkup
    kMalformed = 8,        // not well-formed by the rules of XML 1.0 where the reader is lenient
    kSyntaxError = 100,    // 100 + the parser's own status code
};

// The text of a document, as UTF-8, may take at most kMaxTextSize bytes; the file, in an encoding
// that takes up to four bytes for a character that UTF-8 writes in one, four times that. The
// documents read here (the members of an exchange package) stay far below: a recommendation with
// every list at its limit and every text at its width makes members of at most a few tens of
// kilobytes, and written all as character references or pretty-printed a few times that.
inline constexpr std::size_t kMaxTextSize = 1u << 20;
inline constexpr std::size_t kMaxFileSize = 4 * kMaxTextSize;
// Tags, comments, processing instructions and attributes together. The documents read here hold a
// few thousand; the parser's memory stays near 100 bytes for each.
inline constexpr std::size_t kMaxMarkup = 100000;

// 0 when the file is a well-formed XML document that the document model can read; otherwise one
// of the ParseError values.
long XMLParseFile(const std::string& path);

enum class NodeKind { Element, Text, CData, Comment, ProcessingInstruction, Other };

class Document;

// A node of a document. It keeps its document alive, so it stays valid after the Document object
// that produced it is gone. A default-made node is null: every query on it gives nothing.
class Node {
  public:
    Node() = default;

    bool IsNull() const { return node_ == nullptr; }
    explicit operator bool() const { return !IsNull(); }
    NodeKind Kind() const;
    bool IsElement() const { return Kind() == NodeKind::Element; }

    // The element's or processing instruction's name; "" for other nodes.
    std::string Name() const;
    // Of an element: its own text and CDATA children joined (not those of deeper elements). Of a
    // text, CDATA, comment or processing-instruction node: its value.
    std::string Text() const;

    // Elements only (a null node or an empty list for others).
    Node ChildElement(std::string_view name) const;  // the first child element with that name
    std::vector<Node> ChildElements() const;         // every child element, in order
    std::vector<Node> Content() const;               // every child node, of any kind, in order

  private:
    friend class Document;
    Node(std::shared_ptr<const void> doc, pugi::xml_node_struct* node) : doc_(std::move(doc)), node_(node) {}

    std::shared_ptr<const void> doc_;
    pugi::xml_node_struct* node_ = nullptr;
};

class Document {
  public:
    // Parses the whole file under the rules of XMLParseFile. nullopt when it does not pass;
    // `error` (when given) receives the code.
    static std::optional<Document> BuildFromFile(const std::string& path, long* error = nullptr);

    Node Root() const;

  private:
    struct Impl;
    static std::optional<Document> Build(std::string data, long* error);
    explicit Document(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
    std::shared_ptr<const Impl> impl_;
};

}  // namespace rt::xml
