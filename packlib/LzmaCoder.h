// One liblzma encoder: the raw LZMA2 stream that the files in records share (flushed at
// every file's end), or a two-thread .xz stream for one big file. Output is appended to a
// caller's buffer.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class TLzmaCoder {
  public:
    TLzmaCoder() = default;
    ~TLzmaCoder();
    TLzmaCoder(const TLzmaCoder&) = delete;
    TLzmaCoder& operator=(const TLzmaCoder&) = delete;

    /// A raw LZMA2 encoder (no container), for the solid stream.
    bool InitRaw(const lzma_options_lzma& options);
    /// A .xz encoder (CRC-64 check) running on threads, cutting blocks of blockSize; x86
    /// puts the x86 branch filter before LZMA2.
    bool InitThreaded(const lzma_options_lzma& options, uint32_t threads, uint64_t blockSize,
                      bool x86 = false);
    bool Active() const { return Live; }
    void End();

    /// Feeds input and appends whatever the encoder gives out to out.
    bool Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    /// Ends the current chunk so that everything fed so far can be decoded.
    bool Flush(std::vector<uint8_t>& out);
    /// Ends the stream.
    bool Finish(std::vector<uint8_t>& out);

    /// The threaded encoder's memory need for these settings.
    static uint64_t ThreadedMemory(const lzma_options_lzma& options, uint32_t threads,
                                   uint64_t blockSize);
    static uint64_t RawMemory(const lzma_options_lzma& options);

  private:
    bool Run(lzma_action action, std::vector<uint8_t>& out);

    lzma_stream Stream = LZMA_STREAM_INIT;
    lzma_options_lzma Options{};
    lzma_filter Filters[3]{};
    std::vector<uint8_t> Scratch;
    bool Live = false;
};
