// Text conversion on Windows, which has no iconv: through the system's code pages
// (MultiByteToWideChar / WideCharToMultiByte, with UTF-16 between them), and by hand for the
// UTF-16 and UTF-32 forms that those calls do not take. Encodings are named as iconv names them.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/text/text.h"

namespace rt {

namespace {

// Code pages of Windows' own numbering; the forms with a byte-order mark have numbers of ours.
constexpr std::uint32_t kUtf16Le = 1200, kUtf16Be = 1201, kUtf32Le = 12000, kUtf32Be = 12001;
constexpr std::uint32_t kUtf16 = 1, kUtf32 = 2;
constexpr std::uint32_t kUnknown = 0xFFFFFFFF;

std::uint32_t CodePage(std::string_view name) {
    std::string n = LowerAscii(name);
    struct Named {
        const char* name;
        std::uint32_t page;
    };
    static const Named kNames[] = {
        {"utf-8", CP_UTF8},     {"utf8", CP_UTF8},      {"gb18030", 54936},   {"gbk", 936},
        {"cp936", 936},         {"ms936", 936},         {"windows-936", 936}, {"gb2312", 936},
        {"euc-cn", 936},        {"x-gbk", 936},         {"x-euc-cn", 936},    {"csgb2312", 936},
        {"gb_2312-80", 936},    {"chinese", 936},       {"csgbk", 936},       {"big5", 950},
        {"cp950", 950},         {"shift_jis", 932},     {"sjis", 932},        {"cp932", 932},
        {"euc-jp", 20932},      {"euc-kr", 949},        {"cp949", 949},       {"latin1", 28591},
        {"us-ascii", 20127},    {"ascii", 20127},       {"koi8-r", 20866},    {"koi8-u", 21866},
        {"utf-16le", kUtf16Le}, {"utf-16be", kUtf16Be}, {"utf-16", kUtf16},   {"utf-32le", kUtf32Le},
        {"utf-32be", kUtf32Be}, {"utf-32", kUtf32},
    };
    for (const Named& k : kNames) {
        if (n != k.name) continue;
        // GB18030 is GBK with four-byte forms for the characters GBK lacks. Where the system has no
        // such code page (Wine), GBK stands in: its characters convert the same, and one it lacks is
        // refused, which the callers count as the widest form.
        if (k.page == 54936 && !IsValidCodePage(54936)) return 936;
        return k.page;
    }
    // iso-8859-N, windows-NNNN and cpNNNN by their numbers.
    auto number = [](std::string_view digits) -> std::uint32_t {
        if (digits.empty() || digits.size() > 5) return kUnknown;
        std::uint32_t v = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return kUnknown;
            v = v * 10 + static_cast<std::uint32_t>(c - '0');
        }
        return v;
    };
    std::uint32_t page = kUnknown;
    if (n.starts_with("iso-8859-")) {
        const std::uint32_t part = number(std::string_view(n).substr(9));
        if (part != kUnknown && part >= 1 && part <= 15) page = 28590 + part;
    } else if (n.starts_with("windows-")) {
        page = number(std::string_view(n).substr(8));
    } else if (n.starts_with("cp")) {
        page = number(std::string_view(n).substr(2));
    }
    return page != kUnknown && IsValidCodePage(page) ? page : kUnknown;
}

void PutUnit(std::string& out, std::uint32_t unit, int bytes, bool big) {
    for (int k = 0; k < bytes; ++k) {
        const int shift = big ? 8 * (bytes - 1 - k) : 8 * k;
        out.push_back(static_cast<char>((unit >> shift) & 0xFF));
    }
}

std::uint32_t GetUnit(std::string_view in, std::size_t at, int bytes, bool big) {
    std::uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) {
        const auto b = static_cast<unsigned char>(in[at + static_cast<std::size_t>(k)]);
        v |= static_cast<std::uint32_t>(b) << (big ? 8 * (bytes - 1 - k) : 8 * k);
    }
    return v;
}

// UTF-16 or UTF-32 in either byte order, with a byte-order mark that `page` may ask for; nullopt on
// a cut-off unit, a lone surrogate or a value past Unicode.
std::optional<std::wstring> DecodeUnits(std::string_view in, std::uint32_t page) {
    const int bytes = page == kUtf32 || page == kUtf32Le || page == kUtf32Be ? 4 : 2;
    bool big = page == kUtf16Be || page == kUtf32Be;
    if (page == kUtf16 || page == kUtf32) {
        // A mark says the order; without one, big-endian, as the encoding's definition has it.
        big = true;
        if (in.size() >= static_cast<std::size_t>(bytes)) {
            const std::uint32_t first = GetUnit(in, 0, bytes, false);
            if (first == 0xFEFF) {
                big = false;
                in.remove_prefix(static_cast<std::size_t>(bytes));
            } else if (GetUnit(in, 0, bytes, true) == 0xFEFF) {
                in.remove_prefix(static_cast<std::size_t>(bytes));
            }
        }
    }
    if (in.size() % static_cast<std::size_t>(bytes) != 0) return std::nullopt;
    std::wstring out;
    out.reserve(in.size() / static_cast<std::size_t>(bytes));
    for (std::size_t at = 0; at < in.size(); at += static_cast<std::size_t>(bytes)) {
        std::uint32_t cp = GetUnit(in, at, bytes, big);
        if (bytes == 2 && cp >= 0xD800 && cp <= 0xDBFF) {
            at += 2;
            if (at >= in.size()) return std::nullopt;
            const std::uint32_t low = GetUnit(in, at, 2, big);
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (cp > 0x10FFFF) return std::nullopt;
        if (cp >= 0x10000) {
            out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

std::optional<std::string> EncodeUnits(std::wstring_view in, std::uint32_t page) {
    const int bytes = page == kUtf32 || page == kUtf32Le || page == kUtf32Be ? 4 : 2;
    const bool big = page == kUtf16Be || page == kUtf32Be;
    std::string out;
    // With a mark, in the order of the machine, as iconv writes it.
    if (page == kUtf16 || page == kUtf32) PutUnit(out, 0xFEFF, bytes, false);
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint32_t cp = static_cast<std::uint16_t>(in[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint16_t>(in[++i]) - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            return std::nullopt;
        }
        if (bytes == 2 && cp >= 0x10000) {
            PutUnit(out, 0xD800 + ((cp - 0x10000) >> 10), 2, big);
            PutUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), 2, big);
        } else {
            PutUnit(out, cp, bytes, big);
        }
    }
    return out;
}

bool IsUnits(std::uint32_t page) {
    return page == kUtf16 || page == kUtf32 || page == kUtf16Le || page == kUtf16Be || page == kUtf32Le ||
           page == kUtf32Be;
}

std::optional<std::wstring> Decode(std::string_view in, std::uint32_t page) {
    if (IsUnits(page)) return DecodeUnits(in, page);
    if (in.empty()) return std::wstring();
    const int size = static_cast<int>(in.size());
    DWORD flags = MB_ERR_INVALID_CHARS;
    int n = MultiByteToWideChar(page, flags, in.data(), size, nullptr, 0);
    if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        n = MultiByteToWideChar(page, flags, in.data(), size, nullptr, 0);
    }
    if (n == 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(page, flags, in.data(), size, out.data(), n) != n) return std::nullopt;
    return out;
}

std::optional<std::string> Encode(std::wstring_view in, std::uint32_t page) {
    if (IsUnits(page)) return EncodeUnits(in, page);
    if (in.empty()) return std::string();
    const int size = static_cast<int>(in.size());
    // UTF-8 and GB18030 encode every character and report a lone surrogate; the other pages report
    // a character they lack through the default character, which a conversion must not slip in.
    const bool whole = page == CP_UTF8 || page == 54936;
    BOOL usedDefault = FALSE;
    const DWORD flags = whole ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL* used = whole ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(page, flags, in.data(), size, nullptr, 0, nullptr, used);
    if (n == 0 || usedDefault) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(page, flags, in.data(), size, out.data(), n, nullptr, used) != n || usedDefault)
        return std::nullopt;
    return out;
}

std::uint32_t From(void* cd) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(cd) >> 32);
}

std::uint32_t To(void* cd) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(cd) & 0xFFFFFFFF);
}

}  // namespace

// The two code pages are held in the handle itself: the source's in the high half.
Iconv::Iconv(const char* to, const char* from) : cd_(reinterpret_cast<void*>(std::uintptr_t(-1))) {
    const std::uint32_t source = CodePage(from), target = CodePage(to);
    if (source != kUnknown && target != kUnknown)
        cd_ = reinterpret_cast<void*>((static_cast<std::uintptr_t>(source) << 32) | target);
}

Iconv::~Iconv() = default;

bool Iconv::ok() const {
    return cd_ != reinterpret_cast<void*>(std::uintptr_t(-1));
}

std::optional<std::string> Iconv::Convert(std::string_view in) {
    bool tooLong = false;
    return Convert(in, std::string::npos, tooLong);
}

// The input is converted whole; the callers bound it (a file is measured before it is read).
std::optional<std::string> Iconv::Convert(std::string_view in, std::size_t limit, bool& tooLong) {
    tooLong = false;
    if (!ok()) return std::nullopt;
    const std::optional<std::wstring> wide = Decode(in, From(cd_));
    if (!wide) return std::nullopt;
    std::optional<std::string> out = Encode(*wide, To(cd_));
    if (out && out->size() > limit) {
        tooLong = true;
        return std::nullopt;
    }
    return out;
}

std::size_t Iconv::Length(std::string_view ch) {
    const std::optional<std::string> out = Convert(ch);
    return out ? out->size() : 0;
}

}  // namespace rt
