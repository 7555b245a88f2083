#include "GroupEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include "Alloc.h"
#include "Lzma2Enc.h"
#include "Threads.h"
}

namespace {

/// Input a sequence may be behind by before Feed waits: two reading steps, or a whole
/// segment, so that the host's thread can go on to the next segment.
constexpr size_t MinQueued = 2u << 20;
/// Sequences encoded at the same time when the stream is cut into segments: one per core.
constexpr size_t MaxSequences = 2;
constexpr uint8_t Lzma2EndMark = 0x00;

/// liblzma's match finder ids as the SDK's binary-tree flag and hash bytes.
void MatchFinder(lzma_match_finder mf, int& btMode, int& hashBytes) {
    btMode = mf == LZMA_MF_BT2 || mf == LZMA_MF_BT3 || mf == LZMA_MF_BT4;
    hashBytes = (mf == LZMA_MF_BT2) ? 2 : (mf == LZMA_MF_HC3 || mf == LZMA_MF_BT3) ? 3 : 4;
}

}  // namespace

/// One run of the SDK's encoder on a thread of its own, from an empty dictionary to the
/// end of its input. What the host's thread and the encoder's threads share is behind Lock.
class TGroupEncoder::TSequence {
  public:
    TSequence() = default;
    TSequence(const TSequence&) = delete;
    TSequence& operator=(const TSequence&) = delete;
    ~TSequence() { Stop(true); }

    bool Start(const CLzma2EncProps& props, size_t maxQueued);
    /// Queues input, waiting while MaxQueued bytes are still to be taken; false when the
    /// encoder has stopped.
    bool Push(const uint8_t* data, size_t size);
    /// Moves the output given out so far to out, but for its last byte.
    void Drain(std::vector<uint8_t>& out);
    void EndInput();
    /// Waits for the end and moves the rest of the output, without the end mark, to out.
    bool Collect(std::vector<uint8_t>& out);
    uint64_t Fed = 0;

  private:
    struct TIn {
        ISeqInStream Iface;
        TSequence* Owner;
    };
    struct TOut {
        ISeqOutStream Iface;
        TSequence* Owner;
    };
    static SRes Read(ISeqInStreamPtr p, void* buf, size_t* size);
    static size_t Write(ISeqOutStreamPtr p, const void* buf, size_t size);
    static THREAD_FUNC_DECL Run(void* param);
    void Stop(bool abort);

    // The SDK calls back with the address of its interface; each knows its owner.
    TIn In{{&TSequence::Read}, this};
    TOut Out{{&TSequence::Write}, this};
    CCriticalSection Lock{};
    bool LockMade = false;
    CAutoResetEvent InReady{};  // input or its end arrived, or the sequence is dropped
    CAutoResetEvent InTaken{};  // the encoder took input, or stopped
    CThread Thread{};
    CLzma2EncHandle Encoder = nullptr;
    bool Running = false;

    size_t MaxQueued = MinQueued;
    std::vector<uint8_t> Input;
    size_t InputPos = 0;
    bool InputEnd = false;
    bool Abort = false;
    std::vector<uint8_t> Output;
    SRes Result = SZ_OK;
    bool Done = false;
};

SRes TGroupEncoder::TSequence::Read(ISeqInStreamPtr p, void* buf, size_t* size) {
    // Iface is the first member of a standard-layout TIn.
    TSequence* s = reinterpret_cast<const TIn*>(p)->Owner;
    CriticalSection_Enter(&s->Lock);
    while (s->InputPos == s->Input.size() && !s->InputEnd && !s->Abort) {
        CriticalSection_Leave(&s->Lock);
        Event_Wait(&s->InReady);
        CriticalSection_Enter(&s->Lock);
    }
    const bool abort = s->Abort;
    const size_t n = abort ? 0 : std::min(*size, s->Input.size() - s->InputPos);
    if (n != 0) std::memcpy(buf, s->Input.data() + s->InputPos, n);
    s->InputPos += n;
    if (s->InputPos == s->Input.size()) {
        s->Input.clear();
        s->InputPos = 0;
    }
    CriticalSection_Leave(&s->Lock);
    Event_Set(&s->InTaken);
    *size = n;  // no bytes: the end of the sequence
    return abort ? SZ_ERROR_READ : SZ_OK;
}

size_t TGroupEncoder::TSequence::Write(ISeqOutStreamPtr p, const void* buf, size_t size) {
    TSequence* s = reinterpret_cast<const TOut*>(p)->Owner;
    CriticalSection_Enter(&s->Lock);
    const bool abort = s->Abort;
    if (!abort) {
        const auto* bytes = static_cast<const uint8_t*>(buf);
        s->Output.insert(s->Output.end(), bytes, bytes + size);
    }
    CriticalSection_Leave(&s->Lock);
    return abort ? 0 : size;
}

THREAD_FUNC_DECL TGroupEncoder::TSequence::Run(void* param) {
    auto* s = static_cast<TSequence*>(param);
    const SRes result = Lzma2Enc_Encode2(s->Encoder, &s->Out.Iface, nullptr, nullptr,
                                         &s->In.Iface, nullptr, 0, nullptr);
    CriticalSection_Enter(&s->Lock);
    s->Result = result;
    s->Done = true;
    CriticalSection_Leave(&s->Lock);
    // Push may be waiting for room that will never come.
    Event_Set(&s->InTaken);
    return THREAD_FUNC_RET_ZERO;
}

bool TGroupEncoder::TSequence::Start(const CLzma2EncProps& props, size_t maxQueued) {
    MaxQueued = maxQueued;
    Event_Construct(&InReady);
    Event_Construct(&InTaken);
    Thread_CONSTRUCT(&Thread);
    if (CriticalSection_Init(&Lock) != 0) return false;
    LockMade = true;
    if (AutoResetEvent_CreateNotSignaled(&InReady) != 0 ||
        AutoResetEvent_CreateNotSignaled(&InTaken) != 0)
        return false;
    Encoder = Lzma2Enc_Create(&g_Alloc, &g_BigAlloc);
    if (Encoder == nullptr || Lzma2Enc_SetProps(Encoder, &props) != SZ_OK) return false;
    if (Thread_Create(&Thread, &TSequence::Run, this) != 0) return false;
    Running = true;
    return true;
}

bool TGroupEncoder::TSequence::Push(const uint8_t* data, size_t size) {
    CriticalSection_Enter(&Lock);
    while (Input.size() - InputPos >= MaxQueued && !Done) {
        CriticalSection_Leave(&Lock);
        Event_Wait(&InTaken);
        CriticalSection_Enter(&Lock);
    }
    const bool stopped = Done;  // the encoder failed before its input ended
    if (!stopped) {
        if (InputPos > Input.size() / 2) {
            Input.erase(Input.begin(), Input.begin() + ptrdiff_t(InputPos));
            InputPos = 0;
        }
        Input.insert(Input.end(), data, data + size);
        Fed += size;
    }
    CriticalSection_Leave(&Lock);
    Event_Set(&InReady);
    return !stopped;
}

void TGroupEncoder::TSequence::Drain(std::vector<uint8_t>& out) {
    // The last byte stays: once the encoder is done it is the end mark, which Collect
    // checks and leaves out.
    CriticalSection_Enter(&Lock);
    if (Output.size() > 1) {
        out.insert(out.end(), Output.begin(), Output.end() - 1);
        Output.erase(Output.begin(), Output.end() - 1);
    }
    CriticalSection_Leave(&Lock);
}

void TGroupEncoder::TSequence::EndInput() {
    CriticalSection_Enter(&Lock);
    InputEnd = true;
    CriticalSection_Leave(&Lock);
    Event_Set(&InReady);
}

bool TGroupEncoder::TSequence::Collect(std::vector<uint8_t>& out) {
    EndInput();
    Stop(false);
    // The stream's end mark is left out: the next sequence continues the same stream.
    if (Result != SZ_OK || Output.empty() || Output.back() != Lzma2EndMark) return false;
    out.insert(out.end(), Output.begin(), Output.end() - 1);
    Output.clear();
    return true;
}

void TGroupEncoder::TSequence::Stop(bool abort) {
    if (Running) {
        CriticalSection_Enter(&Lock);
        Abort = abort;
        InputEnd = true;
        CriticalSection_Leave(&Lock);
        Event_Set(&InReady);
        Thread_Wait_Close(&Thread);
        Running = false;
    }
    if (Encoder != nullptr) {
        Lzma2Enc_Destroy(Encoder);
        Encoder = nullptr;
    }
    if (Event_IsCreated(&InReady)) Event_Close(&InReady);
    if (Event_IsCreated(&InTaken)) Event_Close(&InTaken);
    if (LockMade) {
        CriticalSection_Delete(&Lock);
        LockMade = false;
    }
}

TGroupEncoder::TGroupEncoder() = default;

TGroupEncoder::~TGroupEncoder() {
    End();
}

void TGroupEncoder::Configure(const lzma_options_lzma& options, uint32_t hashBytes,
                              uint64_t segmentBytes) {
    Options = options;
    HashBytes = hashBytes;
    SegmentBytes = segmentBytes;
}

bool TGroupEncoder::StartSequence() {
    CLzma2EncProps props;
    Lzma2EncProps_Init(&props);
    CLzmaEncProps& lz = props.lzmaProps;
    lz.level = 5;
    lz.dictSize = Options.dict_size;
    lz.lc = int(Options.lc);
    lz.lp = int(Options.lp);
    lz.pb = int(Options.pb);
    lz.algo = Options.mode == LZMA_MODE_NORMAL ? 1 : 0;
    lz.fb = int(Options.nice_len);
    MatchFinder(Options.mf, lz.btMode, lz.numHashBytes);
    if (HashBytes != 0) lz.numHashBytes = int(HashBytes);
    // liblzma's own depth when it is left to choose.
    lz.mc = Options.depth != 0 ? Options.depth
                               : (lz.btMode ? 16 + Options.nice_len / 2 : 4 + Options.nice_len / 4);
    // The SDK's match finder takes a thread of its own for binary trees only.
    lz.numThreads = lz.btMode ? 2 : 1;
    // One block: the whole sequence shares one dictionary.
    props.blockSize = LZMA2_ENC_PROPS_BLOCK_SIZE_SOLID;
    props.numBlockThreads_Reduced = 1;
    props.numBlockThreads_Max = 1;
    props.numTotalThreads = lz.numThreads;
    auto sequence = std::make_unique<TSequence>();
    if (!sequence->Start(props, size_t(std::max<uint64_t>(MinQueued, SegmentBytes))))
        return false;
    Sequences.push_back(std::move(sequence));
    return true;
}

bool TGroupEncoder::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    if (Sequences.empty() && !StartSequence()) return Fail();
    while (size > 0) {
        if (SegmentBytes != 0 && Sequences.back()->Fed == SegmentBytes) {
            Sequences.back()->EndInput();
            if (Sequences.size() == MaxSequences && !Retire(out)) return Fail();
            if (!StartSequence()) return Fail();
        }
        size_t n = size;
        if (SegmentBytes != 0)
            n = size_t(std::min<uint64_t>(n, SegmentBytes - Sequences.back()->Fed));
        if (!Sequences.back()->Push(data, n)) return Fail();
        data += n;
        size -= n;
    }
    // Only the oldest sequence's output can go out yet; the others' waits behind it.
    Sequences.front()->Drain(out);
    return true;
}

bool TGroupEncoder::Retire(std::vector<uint8_t>& out) {
    const bool collected = Sequences.front()->Collect(out);
    Sequences.pop_front();
    return collected;
}

bool TGroupEncoder::Finish(std::vector<uint8_t>& out) {
    if (!Sequences.empty()) Sequences.back()->EndInput();
    while (!Sequences.empty())
        if (!Retire(out)) return Fail();
    return true;
}

bool TGroupEncoder::Fail() {
    End();
    return false;
}

void TGroupEncoder::End() {
    // Newest first: an older sequence's end is not waited for.
    while (!Sequences.empty()) Sequences.pop_back();
}
