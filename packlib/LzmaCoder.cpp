#include "LzmaCoder.h"

#ifndef _WIN32
extern "C" {
#include "Alloc.h"
}
#endif

namespace {

constexpr size_t OutputStep = 1 << 16;

#ifndef _WIN32
/// liblzma's blocks come from the LZMA SDK's big-block allocator, which puts the large ones
/// (the match finder's tables, 100 MB and more at the default level) in huge pages, as for
/// the group stream's encoder: the tree walks miss the TLB less.
void* AllocateBig(void*, size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    return ISzAlloc_Alloc(&g_BigAlloc, count * size);
}

void FreeBig(void*, void* block) {
    ISzAlloc_Free(&g_BigAlloc, block);
}

const lzma_allocator BigPages{&AllocateBig, &FreeBig, nullptr};
const lzma_allocator* const Allocator = &BigPages;
#else
// Large pages on Windows need a privilege that an installer's author does not hold.
const lzma_allocator* const Allocator = nullptr;
#endif

lzma_mt ThreadedOptions(lzma_filter* filters, uint32_t threads, uint64_t blockSize) {
    lzma_mt mt{};
    mt.threads = threads;
    mt.block_size = blockSize;
    mt.timeout = 0;
    mt.check = LZMA_CHECK_CRC64;
    mt.filters = filters;
    return mt;
}

}  // namespace

TLzmaCoder::~TLzmaCoder() {
    End();
}

void TLzmaCoder::End() {
    if (Live) lzma_end(&Stream);
    Stream = LZMA_STREAM_INIT;
    Live = false;
}

bool TLzmaCoder::InitRaw(const lzma_options_lzma& options) {
    End();
    Stream.allocator = Allocator;
    Options = options;
    Filters[0] = {LZMA_FILTER_LZMA2, &Options};
    Filters[1] = {LZMA_VLI_UNKNOWN, nullptr};
    Live = lzma_raw_encoder(&Stream, Filters) == LZMA_OK;
    return Live;
}

bool TLzmaCoder::InitThreaded(const lzma_options_lzma& options, uint32_t threads,
                              uint64_t blockSize, bool x86) {
    End();
    Stream.allocator = Allocator;
    Options = options;
    size_t n = 0;
    if (x86) Filters[n++] = {LZMA_FILTER_X86, nullptr};
    Filters[n++] = {LZMA_FILTER_LZMA2, &Options};
    Filters[n] = {LZMA_VLI_UNKNOWN, nullptr};
    const lzma_mt mt = ThreadedOptions(Filters, threads, blockSize);
    Live = lzma_stream_encoder_mt(&Stream, &mt) == LZMA_OK;
    return Live;
}

uint64_t TLzmaCoder::ThreadedMemory(const lzma_options_lzma& options, uint32_t threads,
                                    uint64_t blockSize) {
    lzma_options_lzma copy = options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &copy}, {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_mt mt = ThreadedOptions(filters, threads, blockSize);
    return lzma_stream_encoder_mt_memusage(&mt);
}

uint64_t TLzmaCoder::RawMemory(const lzma_options_lzma& options) {
    lzma_options_lzma copy = options;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA2, &copy}, {LZMA_VLI_UNKNOWN, nullptr}};
    return lzma_raw_encoder_memusage(filters);
}

bool TLzmaCoder::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    Stream.next_in = data;
    Stream.avail_in = size;
    return Run(LZMA_RUN, out);
}

bool TLzmaCoder::Flush(std::vector<uint8_t>& out) {
    Stream.next_in = nullptr;
    Stream.avail_in = 0;
    return Run(LZMA_SYNC_FLUSH, out);
}

bool TLzmaCoder::Finish(std::vector<uint8_t>& out) {
    Stream.next_in = nullptr;
    Stream.avail_in = 0;
    return Run(LZMA_FINISH, out);
}

bool TLzmaCoder::Run(lzma_action action, std::vector<uint8_t>& out) {
    if (!Live) return false;
    // A call of a small file mostly gives nothing out: room is lent from a buffer of our
    // own instead of growing (and clearing) the caller's each time.
    Scratch.resize(OutputStep);
    for (;;) {
        Stream.next_out = Scratch.data();
        Stream.avail_out = OutputStep;
        const lzma_ret ret = lzma_code(&Stream, action);
        out.insert(out.end(), Scratch.data(), Scratch.data() + (OutputStep - Stream.avail_out));
        if (ret == LZMA_STREAM_END) return true;
        if (ret != LZMA_OK) return false;
        // With LZMA_RUN the encoder is done once it took all input and left output room;
        // a flush or finish goes on until it reports the stream (or chunk) end.
        if (action == LZMA_RUN && Stream.avail_in == 0 && Stream.avail_out != 0) return true;
    }
}
