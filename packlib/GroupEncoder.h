// The encoder of the group stream: the LZMA SDK's LZMA2 encoder on threads of its own, so
// that packing plain files uses both cores while the host's thread reads the next files.
// With a binary-tree match finder one sequence runs at a time and its match finder takes
// a second thread; with hash chains (small dictionaries) the stream is cut into segments
// encoded two at a time. The output does not depend on timing: the same input gives the
// same bytes on every run and with any number of cores.
#pragma once

#include <lzma.h>

#include <cstddef>
#include <cstdint>
#include <deque>
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
    /// chains take 4 or 5). segmentBytes other than 0 ends a sequence after that many
    /// bytes and starts the next beside it.
    void Configure(const lzma_options_lzma& options, uint32_t hashBytes, uint64_t segmentBytes);
    /// Whether bytes were fed that Finish has not yet ended.
    bool Active() const { return !Sequences.empty(); }
    /// Hands bytes to the encoder (waiting while it is far behind) and appends whatever it
    /// has given out by now, in order, to out.
    bool Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
    /// Ends the sequences and appends the rest of their output, so that everything fed can
    /// be decoded. Each sequence starts with an empty dictionary; an LZMA2 decoder takes
    /// them one after the other as one stream (there is no end mark between them).
    bool Finish(std::vector<uint8_t>& out);
    /// Drops the sequences, their threads and their output.
    void End();

  private:
    class TSequence;

    bool StartSequence();
    /// Waits for the oldest sequence to end and appends the rest of its output.
    bool Retire(std::vector<uint8_t>& out);
    bool Fail();

    lzma_options_lzma Options{};
    uint32_t HashBytes = 0;
    uint64_t SegmentBytes = 0;
    /// Running sequences, oldest first; only the newest takes input.
    std::deque<std::unique_ptr<TSequence>> Sequences;
};
