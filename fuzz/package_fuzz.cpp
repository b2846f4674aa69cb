// libFuzzer harness of the exchange package reader: an input is unpacked and read as the Import
// command unpacks and reads a package that arrives from outside, short of writing to a database.
//
// An input that starts with 'Z' is the archive itself (the rest of it). Any other input is the
// members' texts, separated by form feeds (a character no XML document holds), packed under the
// seven member names in import order: the fuzzer then spends its time on the rows rather than on
// getting a checksum right.
//
// Besides crashes and sanitizer reports, the harness stops on a broken promise: a file beside the
// seven members, a member above its size limit, more unpacked than the total limit, or rows read
// that a page could not hold.
//
//   CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DLAUREL_FUZZ=ON -DLAUREL_TESTS=OFF
//   cmake --build build/fuzz --target package_fuzz
//   mkdir -p build/fuzz/corpus && build/fuzz/fuzz/package_fuzz -max_total_time=600 -rss_limit_mb=1024
//   build/fuzz/corpus fuzz/seeds
//
// Built without LAUREL_FUZZ, the same harness replays the files named on its command line.

#include <unistd.h>
#include <zip.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/package.h"
#include "exchange/package_reader.h"
#include "runtime/formats/xml.h"
#include "runtime/formats/zip.h"
#include "schema/dataobjects.h"

namespace {

namespace fs = std::filesystem;
using laurel::exchange::MemberFormat;

const std::array<const MemberFormat*, 7> kFormats = {
    &laurel::exchange::kBaseFormat, &laurel::exchange::kRyFormat, &laurel::exchange::kDwFormat,
    &laurel::exchange::kXyFormat,   &laurel::exchange::kHjFormat, &laurel::exchange::kYyFormat,
    &laurel::exchange::kZlFormat};

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "broken promise: %s\n", what.c_str());
    std::abort();
}

// A private folder for the run, in memory when the system has one.
struct Place {
    fs::path root;
    Place() {
        schema::RegisterDataObjects();
        std::string pattern =
            (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
            "/laurel-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) Broken("no private folder");
        root = pattern;
    }
    ~Place() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

bool WriteArchive(const std::string& path, std::string_view data) {
    if (!data.empty() && data.front() == 'Z') {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(data.data() + 1, static_cast<std::streamsize>(data.size() - 1));
        return true;
    }
    std::vector<std::string> texts;
    std::size_t start = 0;
    while (texts.size() < kFormats.size()) {
        const std::size_t end = data.find('\f', start);
        texts.emplace_back(
            data.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (z == nullptr) return false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        zip_source_t* s = zip_source_buffer(z, texts[k].data(), texts[k].size(), 0);
        if (s == nullptr || zip_file_add(z, kFormats[k]->file, s, 0) < 0) {
            if (s != nullptr) zip_source_free(s);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

void ReadPackage(std::string_view data) {
    static const Place place;
    const std::string archive = (place.root / "xm_data.DAT").string();
    const fs::path folder = place.root / "tmp_xml";
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!WriteArchive(archive, data)) return;

    rt::Zip zip;
    laurel::exchange::SetUpUnpacking(zip, archive, folder.string());
    const long rc = zip.unzip();

    std::set<std::string> names;
    for (const MemberFormat* f : kFormats) names.insert(f->file);
    std::uintmax_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (e.path().parent_path() != folder || names.count(name) == 0)
            Broken("unpacked " + e.path().string());
        if (e.file_size() > rt::kMaxEntrySize) Broken(name + " above the member limit");
        total += e.file_size();
    }
    if (total > rt::kMaxTotalSize) Broken("above the package limit");

    if (rc == 0) {
        std::string key;
        for (const MemberFormat* f : kFormats) {
            const std::string path = (folder / f->file).string();
            if (!fs::exists(path) || rt::xml::XMLParseFile(path) != 0) continue;
            const auto read = laurel::exchange::ReadMember(path, *f, key);
            if (!read.refusal.empty()) continue;
            const std::size_t limit = static_cast<std::size_t>(f->maxRows) * (f->perKind ? 2 : 1);
            if (read.rows.size() > limit) Broken(std::string(f->file) + " holds more rows than its page");
            for (const auto& row : read.rows)
                if (row.empty() || row[0].ToText().empty() || (!key.empty() && row[0].ToText() != key))
                    Broken(std::string(f->file) + " row of another recommendation");
            if (f == kFormats[0]) key = read.rows.front()[0].ToText();
        }
    }
    fs::remove_all(folder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReadPackage(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}

#ifndef LAUREL_LIBFUZZER
int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        std::printf("%s: read\n", argv[i]);
    }
    return 0;
}
#endif
