// The library's three exports and the optional fourth, SetPlain. One package at a time, as
// the callbacks carry no context; no exception may cross into the host, so each export that
// can raise one catches everything.
#include <memory>
#include <new>

#include "PackApi.h"
#include "Package.h"

#if defined(_WIN32)
#define KEST_PACKEXPORT __declspec(dllexport)
#else
#define KEST_PACKEXPORT __attribute__((visibility("default")))
#endif

namespace {

std::unique_ptr<TPackage> Current;

}  // namespace

extern "C" {

KEST_PACKEXPORT int32_t KEST_PACKCALL Create(TOnVolumeName onVolumeName, TOnDiskSpace onDiskSpace,
                                             TOnWrite onWrite, int32_t level) {
    try {
        Current.reset();
        Current = std::make_unique<TPackage>(onVolumeName, onDiskSpace, onWrite, level);
        return 1;
    } catch (...) {
        Current.reset();
        return 0;
    }
}

KEST_PACKEXPORT int32_t KEST_PACKCALL AddFile(const char* sourceName, const char* storedName) {
    try {
        return Current && Current->AddFile(sourceName, storedName) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

KEST_PACKEXPORT int32_t KEST_PACKCALL SetPlain(int32_t plain) {
    if (!Current) return 0;
    Current->SetPlain(plain != 0);
    return 1;
}

KEST_PACKEXPORT int32_t KEST_PACKCALL Close() {
    try {
        const bool closed = Current && Current->Close();
        Current.reset();
        return closed ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
}
