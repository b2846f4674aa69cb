#pragma once
// Text rules of the forms: limits counted in bytes of GBK text, cutting that never splits a
// character, ASCII-only trimming and lower-casing, and the display formats used on pages and in
// documents.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/text/value.h"

namespace rt {

// Bytes that the UTF-8 text takes in GBK (a Chinese character two, ASCII one). A character outside
// GBK counts as its GB18030 length (four), so no text can slip past a limit by being unencodable.
std::size_t GbkLength(std::string_view utf8);

// The longest prefix of the text that fits in maxBytes of GBK; never splits a character.
std::string GbkLeft(std::string_view utf8, std::size_t maxBytes);

// Conversions for files that declare GBK/GB2312 (GB18030 is used underneath, a superset).
// nullopt when the input is not valid in the source encoding.
std::optional<std::string> Utf8ToGbk(std::string_view utf8);
std::optional<std::string> GbkToUtf8(std::string_view gbk);

// A conversion between two encodings that iconv knows, open while the object lives.
class Iconv {
  public:
    Iconv(const char* to, const char* from);
    ~Iconv();
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // false when iconv knows one of the two encodings not.
    bool ok() const;
    // Converts the whole input; nullopt when it is not valid in the source encoding (or incomplete).
    std::optional<std::string> Convert(std::string_view in);
    // As Convert, but gives up as soon as the output passes `limit` bytes, with `tooLong` set; it
    // never holds much more than `limit` bytes on the way.
    std::optional<std::string> Convert(std::string_view in, std::size_t limit, bool& tooLong);
    // Bytes one encoded character takes in the target; 0 when it does not convert.
    std::size_t Length(std::string_view ch);

  private:
    void* cd_;  // an iconv_t
};

// The character encoded at s[i]: its length in bytes and its code point, or 0 when the bytes there
// are no well-formed UTF-8 (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut
// short).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& codePoint);

// Removes leading and trailing ASCII blanks only (not tabs, not the ideographic space).
std::string Trim(std::string_view s);
// The text without its trailing ASCII blanks (a CHAR column pads its values with them).
std::string_view WithoutTrailingBlanks(std::string_view s);

// ASCII letters made lower case; every other byte stays as it is, whatever the locale.
char LowerAscii(char c);
std::string LowerAscii(std::string_view s);
// Case-insensitive ASCII comparison of names.
bool SameName(std::string_view a, std::string_view b);

// Display formats.
//   dates: "yyyy-mm", "yyyy", "yyyy-mm-dd", "yyyy年mm月" ... ("yyyy" zero-padded: year 1 -> "0001")
//   numbers: "#,##0.00", "###,###.00", "0000", "0", "[general]" or "" (general)
// '#' is an optional digit, '0' a required one, ',' groups thousands, '.' starts the decimals.
std::string String(const Date& d, std::string_view format);
std::string String(const Decimal& d, std::string_view format);
std::string String(std::int64_t n, std::string_view format);
std::string String(double n, std::string_view format);
// Formats any value by its type; null gives "".
std::string String(const Value& v, std::string_view format);

}  // namespace rt
