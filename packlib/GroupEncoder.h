// The encoder of the group stream: the LZMA SDK's LZMA2 encoder on a thread of its own,
// its binary-tree match finder on two more, so that packing plain files uses both cores
// while the host's thread reads the next files. The output does not depend on timing: the
// same input gives the same bytes on every run and with either number of cores.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TGroupEncoder {
  public:
    TGroupEncoder();
    ~TGroupEncoder();
    TGroupEncoder(const TGroupEncoder&) = delete;
    TGroupEncoder& operator=(const TGroupEncoder&) = delete;

    /// Takes the settings of the sequences to come; the first Feed starts one. hashBytes
    /// other than 0 overrides what the match finder of options hashes (the SDK's hash
    /// chains take 4 or 5).
    void Configure(const lzma_options_lzma& options, uint32_t hashBytes) {
        Options = options;
        HashBytes = hashBytes;
    }
    /// Whether a sequence has taken bytes that Finish has not yet ended.
    bool Active() const;
    /// Hands bytes to the encoder (waiting while it is far behind) and appends whatever it
    /// has given out by now to out.
    bool Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    /// Ends the sequence and appends the rest of its output, so that everything fed can be
    /// decoded. The next sequence starts with an empty dictionary; an LZMA2 decoder takes
    /// them one after the other as one stream (there is no end mark between them).
    bool Finish(std::vector<uint8_t>& out);
    /// Drops the sequence, its thread and its output.
    void End();

  private:
    struct TShared;

    bool Start();
    bool Stop(bool abort);

    lzma_options_lzma Options{};
    uint32_t HashBytes = 0;
    std::unique_ptr<TShared> Shared;
};
