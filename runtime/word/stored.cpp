#include "runtime/word/stored.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace rt::word::package {

namespace {

// Raw streams (a negative window), without the zlib wrapper that a ZIP entry does not have; a
// window of 32 KiB and the widest hash, as the archive library deflates: the same stream.
constexpr int kWindowBits = 15;
constexpr int kMemLevel = 9;

class Compressor {
  public:
    Compressor() = default;
    ~Compressor() {
        if (ready_) deflateEnd(&stream_);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    z_stream* For(int level) {
        if (ready_ && level != level_) {
            deflateEnd(&stream_);
            ready_ = false;
        }
        if (!ready_) {
            stream_ = z_stream{};
            ready_ = deflateInit2(&stream_, level, Z_DEFLATED, -kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) ==
                     Z_OK;
            level_ = level;
            return ready_ ? &stream_ : nullptr;
        }
        return deflateReset(&stream_) == Z_OK ? &stream_ : nullptr;
    }

  private:
    z_stream stream_{};
    bool ready_ = false;
    int level_ = 0;
};

class Inflater {
  public:
    Inflater() = default;
    ~Inflater() {
        if (ready_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream* Get() {
        if (!ready_) {
            stream_ = z_stream{};
            ready_ = inflateInit2(&stream_, -kWindowBits) == Z_OK;
            return ready_ ? &stream_ : nullptr;
        }
        return inflateReset(&stream_) == Z_OK ? &stream_ : nullptr;
    }

  private:
    z_stream stream_{};
    bool ready_ = false;
};

std::uint32_t Crc(const std::string& text) {
    return static_cast<std::uint32_t>(
        crc32_z(crc32_z(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.data()), text.size()));
}

zip_int64_t Serve(void* state, void* data, zip_uint64_t len, zip_source_cmd_t command) {
    Serving& serving = *static_cast<Serving*>(state);
    const Stored& part = *serving.part;
    switch (command) {
        case ZIP_SOURCE_OPEN:
            serving.at = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const std::uint64_t n = std::min<std::uint64_t>(len, part.data.size() - serving.at);
            std::memcpy(data, part.data.data() + serving.at, static_cast<std::size_t>(n));
            serving.at += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &serving.error);
            if (st == nullptr) return -1;
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                        ZIP_STAT_ENCRYPTION_METHOD;
            st->size = part.size;
            st->comp_size = part.data.size();
            st->comp_method = part.method;
            st->crc = part.crc;
            st->encryption_method = ZIP_EM_NONE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&serving.error, data, len);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&serving.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace

bool Inflate(const Stored& stored, std::string& text) {
    if (stored.method == ZIP_CM_STORE) {
        text = stored.data;
        return text.size() == stored.size && Crc(text) == stored.crc;
    }
    thread_local Inflater inflater;
    z_stream* z = inflater.Get();
    if (z == nullptr || stored.method != ZIP_CM_DEFLATE) return false;
    text.assign(static_cast<std::size_t>(stored.size), '\0');
    z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data.data()));
    z->avail_in = static_cast<uInt>(stored.data.size());
    z->next_out = reinterpret_cast<Bytef*>(text.data());
    z->avail_out = static_cast<uInt>(text.size());
    // The stream must end where the text does: one that goes on finds no room and does not end.
    return inflate(z, Z_FINISH) == Z_STREAM_END && z->total_out == stored.size && Crc(text) == stored.crc;
}

Deflater::Deflater(int level, Stored& out) : out_(out) {
    thread_local Compressor compressor;
    stream_ = compressor.For(level);
    out_.data.clear();
    out_.method = ZIP_CM_DEFLATE;
    out_.size = 0;
    out_.crc = static_cast<std::uint32_t>(crc32_z(0, Z_NULL, 0));
}

void Deflater::write(const void* data, std::size_t size) {
    auto* z = static_cast<z_stream*>(stream_);
    if (z == nullptr || failed_) return;
    out_.crc = static_cast<std::uint32_t>(crc32_z(out_.crc, static_cast<const Bytef*>(data), size));
    out_.size += size;
    z->next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z->avail_in = static_cast<uInt>(size);
    while (z->avail_in > 0 && !failed_) failed_ = Pump(Z_NO_FLUSH) != Z_OK;
}

bool Deflater::Finish() {
    if (stream_ == nullptr || failed_) return false;
    int rc = Z_OK;
    while (rc == Z_OK) rc = Pump(Z_FINISH);
    return rc == Z_STREAM_END;
}

int Deflater::Pump(int flush) {
    auto* z = static_cast<z_stream*>(stream_);
    unsigned char piece[16 * 1024];
    z->next_out = piece;
    z->avail_out = sizeof piece;
    const int rc = deflate(z, flush);
    out_.data.append(reinterpret_cast<const char*>(piece), sizeof piece - z->avail_out);
    // No progress with room to spare is an error of its own.
    return rc == Z_BUF_ERROR && z->avail_out == sizeof piece ? Z_STREAM_ERROR : rc;
}

zip_source_t* SourceOf(zip_t* za, Serving& serving, const Stored& part) {
    serving.part = &part;
    serving.at = 0;
    zip_error_init(&serving.error);
    return zip_source_function(za, Serve, &serving);
}

}  // namespace rt::word::package
