#pragma once
// Edit masks of DataWindow columns: reading what the user typed through a mask into a value, and
// showing a stored value through the mask again.
//
// The kind of mask follows the column's type:
//   char    a string mask: '#' a digit, 'a' a letter or digit, 'x' any character, '!' any character
//           made upper case, '^' lower case; every other character is a literal shown at its place
//           and never typed. The value keeps the typed characters only, without the literals.
//   date    "yyyy", "mm", "dd" (and "yy") with literals between them: "yyyy-mm", "yyyy".
//           Missing parts are the first month / the first day.
//   numbers '#' / '0' digits, ',' thousands, '.' the decimals: "###,###.00" takes at most six
//           digits before the point and two after it, and no sign.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/datawindow/dwdef.h"
#include "runtime/text/value.h"

namespace rt {

enum class MaskKind { String, Date, Number };

// Typed text read into a value: the value (null for an empty entry) or why the text is refused. What
// every reader of typed text gives, through a mask or not.
struct Reading {
    bool ok = false;
    Value value;
    std::string why;

    static Reading Accepted(Value v) { return {true, std::move(v), {}}; }
    static Reading Refused(std::string why) { return {false, Value(), std::move(why)}; }
};

class EditMask {
  public:
    EditMask() = default;
    EditMask(std::string_view mask, ColType type);

    bool Empty() const { return mask_.empty(); }
    MaskKind Kind() const { return kind_; }
    const std::string& Text() const { return mask_; }

    // The value typed as `text`, converted to the column's type. A string mask takes the text
    // with its literals at their places ("1234 56ab") or the typed characters alone ("123456ab").
    Reading Read(std::string_view text) const;
    // The value as the mask shows it ("123456ab" -> "1234 56ab", 2021-05-01 -> "2021-05"); "" for
    // null.
    std::string Show(const Value& v) const;

    // Date masks: whether the entry carries a month and a day. An entry through "yyyy-mm" names a
    // month, not a day, so it counts as unchanged when year and month agree with the stored date.
    bool HasMonth() const { return hasMonth_; }
    bool HasDay() const { return hasDay_; }

  private:
    enum class Part { Digit, AlphaNum, Any, Upper, Lower, Literal, Year4, Year2, Month, Day };
    struct Element {
        Part part;
        std::string literal;  // one character (UTF-8) for Literal
    };

    // The parts of a date read from an entry; those the mask lacks stay the first month and day.
    struct DateParts {
        int year = -1, month = 1, day = 1;
    };

    // The mask's elements and places, by the kind of mask.
    void CountNumberPlaces();
    void ReadDateMask();
    void ReadStringMask();
    static Part StringPart(std::string_view c);

    Reading ReadString(std::string_view text) const;
    Reading ReadDate(std::string_view text) const;
    bool OnlyLiterals(const std::vector<std::string_view>& chars) const;
    static std::size_t DigitsOf(Part part);
    static void SetDatePart(Part part, int v, DateParts& parts);
    bool ReadDateParts(const std::vector<std::string_view>& chars, DateParts& parts) const;
    bool ReadDateDigits(const std::vector<std::string_view>& chars, DateParts& parts) const;
    Reading ReadNumber(std::string_view text) const;
    std::string ShowString(const std::string& stored) const;

    std::string mask_;
    ColType type_ = ColType::Char;
    MaskKind kind_ = MaskKind::String;
    std::vector<Element> elements_;
    std::size_t slots_ = 0;
    bool hasMonth_ = false;
    bool hasDay_ = false;
    int integerDigits_ = 0;
    int decimals_ = 0;
};

// The characters of a UTF-8 text, each as its own byte sequence; a stray byte is one character.
std::vector<std::string_view> Utf8Characters(std::string_view text);

}  // namespace rt
