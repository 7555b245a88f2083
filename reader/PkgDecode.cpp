#include "PkgDecode.h"

#include <lzma.h>

#include <string>
#include <vector>

#include "PkgFail.h"

namespace {

// The largest dictionary the library writes (level 9). A crafted start record must not make
// a reader allocate more: the dictionary is allocated in full when decoding starts.
constexpr uint32_t MaxDictSize = 64u << 20;
// The library's own .xz streams use dictionaries of at most 4 MiB; this leaves room for any
// preset while refusing streams that would need more.
constexpr uint64_t XzMemLimit = 80ull << 20;
constexpr size_t OutChunk = 256 * 1024;

std::string LzmaError(lzma_ret r) {
    switch (r) {
        case LZMA_MEM_ERROR:
            return "out of memory";
        case LZMA_MEMLIMIT_ERROR:
            return "the stream needs too much memory";
        case LZMA_FORMAT_ERROR:
            return "not an .xz stream";
        case LZMA_OPTIONS_ERROR:
            return "unsupported compression options";
        case LZMA_DATA_ERROR:
            return "compressed data is corrupt";
        case LZMA_BUF_ERROR:
            return "compressed data is truncated";
        default:
            return "decoder error " + std::to_string(static_cast<int>(r));
    }
}

/// The raw LZMA2 decoder of a solid or group stream, or why it cannot be started.
std::string StartRawLzma2(lzma_stream& strm, uint32_t dictSize) {
    if (dictSize < LZMA_DICT_SIZE_MIN || dictSize > MaxDictSize)
        return "dictionary size " + std::to_string(dictSize) +
               " is outside 4 KiB .. 64 MiB, the sizes KestBuild writes";
    lzma_options_lzma opt{};
    opt.dict_size = dictSize;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_ret r = lzma_raw_decoder(&strm, filters);
    return r == LZMA_OK ? std::string() : LzmaError(r);
}

}  // namespace

struct TGroupDecoder::TState {
    lzma_stream Strm = LZMA_STREAM_INIT;
    std::vector<unsigned char> In;
    ~TState() { lzma_end(&Strm); }
};

TGroupDecoder::TGroupDecoder(uint32_t dictSize) : State(std::make_unique<TState>()) {
    const std::string why = StartRawLzma2(State->Strm, dictSize);
    if (!why.empty()) FailPackage("corrupt package: the group stream's " + why);
}

TGroupDecoder::~TGroupDecoder() = default;

void TGroupDecoder::Feed(std::vector<unsigned char>& block) {
    State->In.swap(block);
    State->Strm.next_in = State->In.data();
    State->Strm.avail_in = State->In.size();
}

size_t TGroupDecoder::Read(unsigned char* out, size_t max) {
    lzma_stream& strm = State->Strm;
    strm.next_out = out;
    strm.avail_out = max;
    for (;;) {
        const lzma_ret r = lzma_code(&strm, LZMA_RUN);
        const size_t produced = max - strm.avail_out;
        // No progress with nothing left to take is the end of what was fed, not an error.
        if (r == LZMA_BUF_ERROR && strm.avail_in == 0 && produced == 0) return 0;
        if (r == LZMA_STREAM_END) FailPackage("corrupt package: the group stream ends early");
        if (r != LZMA_OK) FailPackage("corrupt package: the group stream: " + LzmaError(r));
        if (produced > 0 || strm.avail_in == 0) return produced;
    }
}

struct TPayloadDecoder::TCodec {
    lzma_stream Strm = LZMA_STREAM_INIT;
    bool Ended = false;
    std::vector<unsigned char> Out = std::vector<unsigned char>(OutChunk);
    ~TCodec() { lzma_end(&Strm); }
};

TPayloadDecoder::TPayloadDecoder(const TPackageInfo& package) : DictSize(package.DictSize) {}

TPayloadDecoder::~TPayloadDecoder() = default;

void TPayloadDecoder::Fail(const std::string& what) {
    if (!Quiet) FailPackage("corrupt data in '" + File->Name + "': " + what);
    Broken = true;
}

void TPayloadDecoder::BeginFile(const TFileEntry& file, TByteSink& sink) {
    File = &file;
    Sink = &sink;
    Produced = 0;
    if (Broken) return;
    Unfilter.reset();
    const bool solid = file.Codec == CodecSolid || file.Codec == CodecSolidX86;
    if (file.Codec == CodecSolidX86) Unfilter = std::make_unique<TX86Filter>(TX86Filter::Decode);
    if (solid && !Solid) {
        auto codec = std::make_unique<TCodec>();
        const std::string why = StartRawLzma2(codec->Strm, DictSize);
        if (!why.empty()) return Fail(why);
        Solid = std::move(codec);
    } else if (file.Codec == CodecXz) {
        Own = std::make_unique<TCodec>();
        const lzma_ret r = lzma_stream_decoder(&Own->Strm, XzMemLimit, 0);
        if (r != LZMA_OK) return Fail(LzmaError(r));
    }
}

void TPayloadDecoder::Emit(const unsigned char* data, size_t size) {
    if (size > File->Size - Produced)
        return Fail("more bytes than its size of " + std::to_string(File->Size));
    Produced += size;
    Sink->Write(data, size);
}

void TPayloadDecoder::Produce(const unsigned char* data, size_t size) {
    if (!Unfilter) return Emit(data, size);
    Unfiltered.clear();
    Unfilter->Convert(data, size, Unfiltered);
    Emit(Unfiltered.data(), Unfiltered.size());
}

void TPayloadDecoder::RunCodec(TCodec& codec, const unsigned char* data, size_t size, bool finish) {
    codec.Strm.next_in = data;
    codec.Strm.avail_in = size;
    while (!Broken) {
        if (codec.Ended) {
            if (codec.Strm.avail_in) Fail("data after the end of its stream");
            return;
        }
        codec.Strm.next_out = codec.Out.data();
        codec.Strm.avail_out = codec.Out.size();
        const lzma_ret r = lzma_code(&codec.Strm, finish ? LZMA_FINISH : LZMA_RUN);
        Produce(codec.Out.data(), codec.Out.size() - codec.Strm.avail_out);
        if (r == LZMA_STREAM_END) {
            codec.Ended = true;
            continue;
        }
        if (r != LZMA_OK) return Fail(LzmaError(r));
        // Done when all input is taken and the decoder had room to spare: it holds no more.
        if (codec.Strm.avail_in == 0 && codec.Strm.avail_out != 0) return;
    }
}

void TPayloadDecoder::Feed(const unsigned char* data, size_t size) {
    if (Broken) return;
    switch (File->Codec) {
        case CodecStored:
            Emit(data, size);
            break;
        case CodecSolid:
        case CodecSolidX86:
            if (size) RunCodec(*Solid, data, size, false);
            break;
        default:
            if (size) RunCodec(*Own, data, size, false);
            break;
    }
}

void TPayloadDecoder::EndFile() {
    if (Broken) return;
    if (File->Codec == CodecXz) {
        RunCodec(*Own, nullptr, 0, true);
        if (Broken) return;
        if (!Own->Ended) return Fail("its .xz stream is incomplete");
        Own.reset();
    }
    if (Unfilter) {
        // The last few bytes, which no branch could start in, come out as they are.
        Unfiltered.clear();
        Unfilter->Finish(Unfiltered);
        Unfilter.reset();
        Emit(Unfiltered.data(), Unfiltered.size());
        if (Broken) return;
    }
    if (Produced != File->Size)
        Fail("decoded " + std::to_string(Produced) + " of " + std::to_string(File->Size) +
             " bytes");
}
