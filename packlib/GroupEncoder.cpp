#include "GroupEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include "Alloc.h"
#include "Lzma2Enc.h"
#include "Threads.h"
}

namespace {

/// Input the encoder may be behind by before Feed waits: two reading steps.
constexpr size_t MaxQueued = 2u << 20;
constexpr uint8_t Lzma2EndMark = 0x00;

/// liblzma's match finder ids as the SDK's binary-tree flag and hash bytes.
void MatchFinder(lzma_match_finder mf, int& btMode, int& hashBytes) {
    btMode = mf == LZMA_MF_BT2 || mf == LZMA_MF_BT3 || mf == LZMA_MF_BT4;
    hashBytes = (mf == LZMA_MF_BT2) ? 2 : (mf == LZMA_MF_HC3 || mf == LZMA_MF_BT3) ? 3 : 4;
}

}  // namespace

/// What the host's thread and the encoder's threads share, behind Lock.
struct TGroupEncoder::TShared {
    // The SDK calls back with the address of its interface; each knows its owner.
    struct TIn {
        ISeqInStream Iface;
        TShared* Owner;
    } In{{&TShared::Read}, this};
    struct TOut {
        ISeqOutStream Iface;
        TShared* Owner;
    } Out{{&TShared::Write}, this};

    CCriticalSection Lock{};
    CAutoResetEvent InReady{};  // input or its end arrived, or the sequence is dropped
    CAutoResetEvent InTaken{};  // the encoder took input
    CThread Thread{};
    CLzma2EncHandle Encoder = nullptr;
    bool Running = false;

    std::vector<uint8_t> Input;
    size_t InputPos = 0;
    bool InputEnd = false;
    bool Abort = false;
    std::vector<uint8_t> Output;
    SRes Result = SZ_OK;
    bool Done = false;

    static SRes Read(ISeqInStreamPtr p, void* buf, size_t* size);
    static size_t Write(ISeqOutStreamPtr p, const void* buf, size_t size);
    static THREAD_FUNC_DECL Run(void* param);
};

SRes TGroupEncoder::TShared::Read(ISeqInStreamPtr p, void* buf, size_t* size) {
    // Iface is the first member of a standard-layout TIn.
    TShared* s = reinterpret_cast<const TIn*>(p)->Owner;
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

size_t TGroupEncoder::TShared::Write(ISeqOutStreamPtr p, const void* buf, size_t size) {
    TShared* s = reinterpret_cast<const TOut*>(p)->Owner;
    CriticalSection_Enter(&s->Lock);
    const bool abort = s->Abort;
    if (!abort) {
        const auto* bytes = static_cast<const uint8_t*>(buf);
        s->Output.insert(s->Output.end(), bytes, bytes + size);
    }
    CriticalSection_Leave(&s->Lock);
    return abort ? 0 : size;
}

THREAD_FUNC_DECL TGroupEncoder::TShared::Run(void* param) {
    auto* s = static_cast<TShared*>(param);
    const SRes result =
        Lzma2Enc_Encode2(s->Encoder, &s->Out.Iface, nullptr, nullptr, &s->In.Iface, nullptr, 0,
                         nullptr);
    CriticalSection_Enter(&s->Lock);
    s->Result = result;
    s->Done = true;
    CriticalSection_Leave(&s->Lock);
    // Feed may be waiting for room that will never come.
    Event_Set(&s->InTaken);
    return THREAD_FUNC_RET_ZERO;
}

TGroupEncoder::TGroupEncoder() = default;

TGroupEncoder::~TGroupEncoder() {
    End();
}

bool TGroupEncoder::Active() const {
    return Shared != nullptr && Shared->Running;
}

bool TGroupEncoder::Start() {
    auto s = std::make_unique<TShared>();
    if (CriticalSection_Init(&s->Lock) != 0) return false;
    Event_Construct(&s->InReady);
    Event_Construct(&s->InTaken);
    Thread_CONSTRUCT(&s->Thread);
    // From here on the destructor of the shared part is not enough: Stop cleans up.
    Shared = std::move(s);
    TShared& sh = *Shared;
    if (AutoResetEvent_CreateNotSignaled(&sh.InReady) != 0 ||
        AutoResetEvent_CreateNotSignaled(&sh.InTaken) != 0)
        return Stop(true);

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
    lz.numThreads = lz.btMode ? 2 : 1;
    // One block: the whole sequence shares one dictionary.
    props.blockSize = LZMA2_ENC_PROPS_BLOCK_SIZE_SOLID;
    props.numBlockThreads_Reduced = 1;
    props.numBlockThreads_Max = 1;
    props.numTotalThreads = lz.numThreads;
    sh.Encoder = Lzma2Enc_Create(&g_Alloc, &g_BigAlloc);
    if (sh.Encoder == nullptr || Lzma2Enc_SetProps(sh.Encoder, &props) != SZ_OK) return Stop(true);
    if (Thread_Create(&sh.Thread, &TShared::Run, &sh) != 0) return Stop(true);
    sh.Running = true;
    return true;
}

bool TGroupEncoder::Feed(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    if (!Active() && !Start()) return false;
    TShared& s = *Shared;
    CriticalSection_Enter(&s.Lock);
    while (s.Input.size() - s.InputPos >= MaxQueued && !s.Done) {
        CriticalSection_Leave(&s.Lock);
        Event_Wait(&s.InTaken);
        CriticalSection_Enter(&s.Lock);
    }
    const bool failed = s.Done;  // the encoder stopped before its input ended
    if (!failed) {
        if (s.InputPos > s.Input.size() / 2) {
            s.Input.erase(s.Input.begin(), s.Input.begin() + ptrdiff_t(s.InputPos));
            s.InputPos = 0;
        }
        s.Input.insert(s.Input.end(), data, data + size);
    }
    out.insert(out.end(), s.Output.begin(), s.Output.end());
    s.Output.clear();
    CriticalSection_Leave(&s.Lock);
    Event_Set(&s.InReady);
    if (failed) Stop(true);
    return !failed;
}

bool TGroupEncoder::Finish(std::vector<uint8_t>& out) {
    if (!Active()) return true;
    TShared& s = *Shared;
    CriticalSection_Enter(&s.Lock);
    s.InputEnd = true;
    CriticalSection_Leave(&s.Lock);
    Event_Set(&s.InReady);
    Thread_Wait_Close(&s.Thread);
    s.Running = false;
    // The stream's end mark is left out: the next sequence continues the same stream.
    bool ok = s.Result == SZ_OK && !s.Output.empty() && s.Output.back() == Lzma2EndMark;
    if (ok) out.insert(out.end(), s.Output.begin(), s.Output.end() - 1);
    return Stop(!ok) && ok;
}

void TGroupEncoder::End() {
    if (Shared != nullptr) Stop(true);
}

bool TGroupEncoder::Stop(bool abort) {
    TShared& s = *Shared;
    if (s.Running) {
        CriticalSection_Enter(&s.Lock);
        s.Abort = abort;
        s.InputEnd = true;
        CriticalSection_Leave(&s.Lock);
        Event_Set(&s.InReady);
        Thread_Wait_Close(&s.Thread);
        s.Running = false;
    }
    if (s.Encoder != nullptr) Lzma2Enc_Destroy(s.Encoder);
    if (Event_IsCreated(&s.InReady)) Event_Close(&s.InReady);
    if (Event_IsCreated(&s.InTaken)) Event_Close(&s.InTaken);
    CriticalSection_Delete(&s.Lock);
    Shared.reset();
    return true;
}
