#pragma once
// For the package alone: parts as a ZIP entry stores them. A part read from a file is inflated and
// checked here and keeps the bytes the file stored, so that a document that leaves it unchanged
// saves those bytes again; a part the document changed is deflated here as its text is written.
// Either is handed to the archive library as data already compressed. The library would make an
// inflater or a compressor of its own for every part (the compressor a third of a megabyte of
// state, allocated and cleared anew for every document saved); one of each per thread, reset for
// each part, does the same work without that.

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <string>

namespace rt::word::package {

struct Stored {
    std::string data;                       // as the entry stores it
    std::uint16_t method = ZIP_CM_DEFLATE;  // its compression
    std::uint64_t size = 0;                 // of the text
    std::uint32_t crc = 0;                  // of the text
};

// The text of a part stored deflated or as it is: false when the data are damaged (the stream
// breaks off, or its size or checksum is not the one stored).
bool Inflate(const Stored& stored, std::string& text);

// Deflates what is written to it at `level` into `out`, which must outlive it.
class Deflater : public pugi::xml_writer {
  public:
    Deflater(int level, Stored& out);
    void write(const void* data, std::size_t size) override;
    // Ends the stream; false when the compressor could not be had or failed (no memory).
    bool Finish();

  private:
    int Pump(int flush);

    Stored& out_;
    void* stream_;  // the thread's compressor; null when it could not be had
    bool failed_ = false;
};

// What the archive library reads a part through while it writes an archive: it must live until the
// archive is closed, as must the part.
struct Serving {
    const Stored* part = nullptr;
    std::uint64_t at = 0;
    zip_error_t error{};
};

// A source that gives the archive the part as stored data: the entry keeps its compression and its
// checksum. Null with the archive's error set.
zip_source_t* SourceOf(zip_t* za, Serving& serving, const Stored& part);

}  // namespace rt::word::package
