// Text conversion through the C library's iconv.

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <string>
#include <type_traits>

#include "runtime/text/text.h"

namespace rt {

// iconv_t is an opaque pointer; the header keeps it as one so that iconv.h stays out of it.
static_assert(std::is_same_v<iconv_t, void*>);

Iconv::Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}

Iconv::~Iconv() {
    if (ok()) iconv_close(cd_);
}

bool Iconv::ok() const {
    return cd_ != reinterpret_cast<iconv_t>(-1);
}

std::optional<std::string> Iconv::Convert(std::string_view in) {
    bool tooLong = false;
    return Convert(in, std::numeric_limits<std::size_t>::max(), tooLong);
}

std::optional<std::string> Iconv::Convert(std::string_view in, std::size_t limit, bool& tooLong) {
    tooLong = false;
    if (!ok()) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    // The output may grow to one character past the limit, so that passing it can be told.
    constexpr std::size_t kSlack = 16;
    const std::size_t cap = limit > std::numeric_limits<std::size_t>::max() / 2 ? limit : limit + kSlack;
    std::string out(std::min(in.size() * 2 + kSlack, cap), '\0');
    char* src = const_cast<char*>(in.data());  // iconv's interface is not const-correct
    std::size_t srcLeft = in.size();
    std::size_t done = 0;
    const auto grow = [&] {
        if (out.size() >= cap) {
            tooLong = true;
            return false;
        }
        out.resize(std::min(out.size() * 2, cap));
        return true;
    };
    for (;;) {
        char* dst = out.data() + done;
        std::size_t dstLeft = out.size() - done;
        std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
        done = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) {
            // Flush any shift state (none for the encodings used here, but harmless).
            if (iconv(cd_, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
                if (errno != E2BIG || !grow()) return std::nullopt;
                continue;
            }
            done = out.size() - dstLeft;
            if (done > limit) {
                tooLong = true;
                return std::nullopt;
            }
            out.resize(done);
            return out;
        }
        if (errno != E2BIG || !grow()) return std::nullopt;
    }
}

std::size_t Iconv::Length(std::string_view ch) {
    if (!ok()) return 0;
    std::array<char, 16> buf{};
    char* src = const_cast<char*>(ch.data());
    std::size_t srcLeft = ch.size();
    char* dst = buf.data();
    std::size_t dstLeft = buf.size();
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1) || srcLeft != 0) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        return 0;
    }
    return buf.size() - dstLeft;
}

}  // namespace rt
