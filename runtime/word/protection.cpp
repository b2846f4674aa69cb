#include "runtime/word/protection.h"

#include <array>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

#include "runtime/word/markup.h"
#include "runtime/word/word.h"

namespace rt::word {

namespace {

// ---- SHA-512 -----------------------------------------------------------------------------------
// The protection hash needs it and the data side has no crypto library; messages here are short.

constexpr std::array<std::uint64_t, 80> kSha512Rounds = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

using Digest = std::array<unsigned char, 64>;

constexpr std::uint64_t Rotr(std::uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

void Sha512Block(std::array<std::uint64_t, 8>& h, const unsigned char* block) {
    std::array<std::uint64_t, 80> w;
    for (std::size_t t = 0; t < 16; ++t) {
        std::uint64_t v = 0;
        for (std::size_t b = 0; b < 8; ++b) v = (v << 8) | block[t * 8 + b];
        w[t] = v;
    }
    for (std::size_t t = 16; t < 80; ++t) {
        const std::uint64_t s0 = Rotr(w[t - 15], 1) ^ Rotr(w[t - 15], 8) ^ (w[t - 15] >> 7);
        const std::uint64_t s1 = Rotr(w[t - 2], 19) ^ Rotr(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, hh] = h;
    for (std::size_t t = 0; t < 80; ++t) {
        const std::uint64_t t1 =
            hh + (Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41)) + ((e & f) ^ (~e & g)) + kSha512Rounds[t] + w[t];
        const std::uint64_t t2 = (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
        hh = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    h[5] += f;
    h[6] += g;
    h[7] += hh;
}

Digest Sha512(const unsigned char* data, std::size_t size) {
    std::array<std::uint64_t, 8> h = {0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL,
                                      0xa54ff53a5f1d36f1ULL, 0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL,
                                      0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};
    std::size_t whole = size - size % 128;
    for (std::size_t i = 0; i < whole; i += 128) Sha512Block(h, data + i);
    // The tail, the 0x80 marker and the length in bits (128 bits, big-endian) in one or two blocks.
    std::array<unsigned char, 256> tail{};
    const std::size_t rest = size - whole;
    std::copy(data + whole, data + size, tail.begin());
    tail[rest] = 0x80;
    const std::size_t blocks = rest + 1 + 16 <= 128 ? 1 : 2;
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (std::size_t i = 0; i < 8; ++i)
        tail[blocks * 128 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < blocks; ++i) Sha512Block(h, tail.data() + i * 128);
    Digest out{};
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t b = 0; b < 8; ++b) out[i * 8 + b] = static_cast<unsigned char>(h[i] >> (56 - 8 * b));
    return out;
}

std::string Base64(const unsigned char* data, std::size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < size; i += 3) {
        const std::uint32_t n = (static_cast<std::uint32_t>(data[i]) << 16) |
                                (i + 1 < size ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0) |
                                (i + 2 < size ? static_cast<std::uint32_t>(data[i + 2]) : 0);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < size ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < size ? kAlphabet[n & 63] : '=';
    }
    return out;
}

// The settings are a sequence in a fixed order; the protection comes after these elements.
constexpr std::string_view kBeforeProtection =
    " writeProtection view zoom removePersonalInformation removeDateAndTime doNotDisplayPageBoundaries"
    " displayBackgroundShape printPostScriptOverText printFractionalCharacterWidth printFormsData"
    " embedTrueTypeFonts embedSystemFonts saveSubsetFonts saveFormsData mirrorMargins alignBordersAndEdges"
    " bordersDoNotSurroundHeader bordersDoNotSurroundFooter gutterAtTop hideSpellingErrors"
    " hideGrammaticalErrors activeWritingStyle proofState formsDesign attachedTemplate linkStyles"
    " stylePaneFormatFilter stylePaneSortMethod documentType mailMerge revisionView trackRevisions"
    " doNotTrackMoves doNotTrackFormatting ";

}  // namespace

namespace protection {

void Protect(package::Package& package, int type, std::string_view password) {
    static constexpr std::array<const char*, 4> kEdit = {"trackedChanges", "comments", "forms", "readOnly"};
    if (type < 0 || type >= static_cast<int>(kEdit.size()))
        throw Error("未知的文档保护方式 " + std::to_string(type));
    package::Part& settings = package.Settings();
    pugi::xml_node root = package.Xml(settings).document_element();
    const markup::Names s(markup::PrefixFor(root, markup::kWordNamespace));
    const std::string tag = s.Of("documentProtection");
    while (root.child(tag.c_str())) root.remove_child(root.child(tag.c_str()));

    pugi::xml_node after;
    for (pugi::xml_node c : root.children()) {
        if (c.type() != pugi::node_element) continue;
        std::string_view n = c.name();
        if (const auto colon = n.find(':'); colon != std::string_view::npos) n.remove_prefix(colon + 1);
        if (kBeforeProtection.find(" " + std::string(n) + " ") != std::string_view::npos) after = c;
    }
    pugi::xml_node dp = after ? root.insert_child_after(tag.c_str(), after) : root.prepend_child(tag.c_str());
    dp.append_attribute(s.Of("edit").c_str()) = kEdit[static_cast<std::size_t>(type)];
    dp.append_attribute(s.Of("enforcement").c_str()) = "1";
    if (!password.empty()) {
        const std::uint32_t spinCount = ProtectionSpinCount();
        std::random_device random;
        std::string salt(16, '\0');
        for (char& c : salt) c = static_cast<char>(random() & 0xFF);
        dp.append_attribute(s.Of("cryptProviderType").c_str()) = "rsaAES";
        dp.append_attribute(s.Of("cryptAlgorithmClass").c_str()) = "hash";
        dp.append_attribute(s.Of("cryptAlgorithmType").c_str()) = "typeAny";
        dp.append_attribute(s.Of("cryptAlgorithmSid").c_str()) = "14";  // SHA-512
        dp.append_attribute(s.Of("cryptSpinCount").c_str()) = std::to_string(spinCount).c_str();
        dp.append_attribute(s.Of("hash").c_str()) = ProtectionHash(password, salt, spinCount).c_str();
        dp.append_attribute(s.Of("salt").c_str()) =
            Base64(reinterpret_cast<const unsigned char*>(salt.data()), salt.size()).c_str();
    }
    settings.dirty = true;
}

}  // namespace protection

// ---- the protection hash -----------------------------------------------------------------------

namespace {
std::uint32_t spinCountInUse = kProtectionSpinCount;
}  // namespace

std::uint32_t ProtectionSpinCount() {
    return spinCountInUse;
}

void SetProtectionSpinCount(std::uint32_t rounds) {
    spinCountInUse = rounds;
}

std::string ProtectionHash(std::string_view password, std::string_view salt, std::uint32_t spinCount) {
    static constexpr std::array<std::uint16_t, 15> kInitialCode = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                                                   0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                                                   0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
    static constexpr std::array<std::array<std::uint16_t, 7>, 15> kMatrix = {{
        {0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09},
        {0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF},
        {0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0},
        {0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40},
        {0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5},
        {0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A},
        {0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9},
        {0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0},
        {0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC},
        {0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10},
        {0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168},
        {0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C},
        {0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD},
        {0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC},
        {0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4},
    }};

    // The password as UTF-16 code units, cut to 15, each reduced to one byte: the low byte, or
    // the high one when the low is zero.
    std::vector<std::uint8_t> bytes;
    for (char32_t cp : markup::CodePoints(password)) {
        std::vector<std::uint16_t> units;
        if (cp >= 0x10000) {
            units = {static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                     static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        } else {
            units = {static_cast<std::uint16_t>(cp)};
        }
        for (std::uint16_t u : units)
            if (bytes.size() < 15)
                bytes.push_back(static_cast<std::uint8_t>((u & 0xFF) != 0 ? (u & 0xFF) : (u >> 8)));
    }
    std::uint32_t key = 0;
    if (!bytes.empty()) {
        const std::size_t n = bytes.size();
        std::uint16_t high = kInitialCode[n - 1];
        for (std::size_t i = 0; i < n; ++i)
            for (int bit = 0; bit < 7; ++bit)
                if ((bytes[i] >> bit) & 1) high ^= kMatrix[15 - n + i][static_cast<std::size_t>(bit)];
        std::uint16_t low = 0;
        for (std::size_t i = n; i-- > 0;)
            low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ bytes[i]);
        low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ n ^ 0xCE4B);
        key = (static_cast<std::uint32_t>(high) << 16) | low;
    }

    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<unsigned char> message(salt.begin(), salt.end());
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(key >> (8 * i));
        for (char digit : {kHex[byte >> 4], kHex[byte & 15]}) {
            message.push_back(static_cast<unsigned char>(digit));
            message.push_back(0);
        }
    }
    Digest h = Sha512(message.data(), message.size());
    std::array<unsigned char, 68> round{};
    for (std::uint32_t i = 0; i < spinCount; ++i) {
        std::copy(h.begin(), h.end(), round.begin());
        for (std::size_t b = 0; b < 4; ++b) round[64 + b] = static_cast<unsigned char>(i >> (8 * b));
        h = Sha512(round.data(), round.size());
    }
    return Base64(h.data(), h.size());
}

}  // namespace rt::word
