// Turning a file's payload (its decrypted data blocks) back into its bytes: stored, the
// package's one solid LZMA2 stream (its output through the x86 branch filter for the files
// that went through it), or an .xz stream of the file's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PkgParse.h"
#include "PkgX86Filter.h"

/// Receives a file's decoded bytes.
class TByteSink {
  public:
    virtual ~TByteSink() = default;
    virtual void Write(const unsigned char* data, size_t size) = 0;
};

/// The group stream: one raw LZMA2 stream across the package's group pieces, holding the
/// entries of plain files; decoded as the parser asks for bytes.
class TGroupDecoder {
  public:
    explicit TGroupDecoder(uint32_t dictSize);
    ~TGroupDecoder();
    TGroupDecoder(const TGroupDecoder&) = delete;
    TGroupDecoder& operator=(const TGroupDecoder&) = delete;

    /// Takes the next compressed bytes (swapped out of block) once Read gave 0 for the last.
    void Feed(std::vector<unsigned char>& block);
    /// Decodes up to max bytes into out; 0 once the bytes fed give no more.
    size_t Read(unsigned char* out, size_t max);

  private:
    struct TState;
    std::unique_ptr<TState> State;
};

class TPayloadDecoder {
  public:
    explicit TPayloadDecoder(const TPackageInfo& package);
    ~TPayloadDecoder();
    TPayloadDecoder(const TPayloadDecoder&) = delete;
    TPayloadDecoder& operator=(const TPayloadDecoder&) = delete;

    void BeginFile(const TFileEntry& file, TByteSink& sink);
    void Feed(const unsigned char* data, size_t size);
    /// Raises EKestxData unless the payload gave exactly the file's size.
    void EndFile();

    /// From now on corrupt data is only noted (Failed()) instead of reported, and every
    /// later call does nothing: for a probe that expects data it may not be able to read.
    void NoteFailuresOnly() { Quiet = true; }
    bool Failed() const { return Broken; }

  private:
    struct TCodec;
    void Fail(const std::string& what);
    void Emit(const unsigned char* data, size_t size);
    /// A codec's output: through the x86 filter for a filtered file, then to Emit.
    void Produce(const unsigned char* data, size_t size);
    void RunCodec(TCodec& codec, const unsigned char* data, size_t size, bool finish);

    uint32_t DictSize;
    std::unique_ptr<TCodec> Solid;
    std::unique_ptr<TCodec> Own;
    std::unique_ptr<TX86Filter> Unfilter;
    std::vector<uint8_t> Unfiltered;
    const TFileEntry* File = nullptr;
    TByteSink* Sink = nullptr;
    uint64_t Produced = 0;
    bool Quiet = false;
    bool Broken = false;
};
