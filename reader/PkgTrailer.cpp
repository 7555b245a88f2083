#include "PkgTrailer.h"

#include <algorithm>
#include <string>

#include "PeImage.h"
#include "PkgFail.h"

namespace {

// The PE headers that name the certificate table lie in the image's first bytes.
constexpr size_t PeHeadSize = 64 * 1024;

// Authenticode aligns the table to 8 bytes, so at most 7 zero bytes precede it.
constexpr uint64_t MaxCertPadding = 7;

bool TrailerAt(TByteSource& src, uint64_t pos, TTrailer& t) {
    unsigned char b[8];
    if (pos > UINT32_MAX || !src.ReadAt(pos, b, 8)) return false;
    t.PresetupSize = GetLe32(b);
    t.Offset = GetLe32(b + 4);
    return t.Offset == pos;
}

bool AllZero(TByteSource& src, uint64_t from, uint64_t to) {
    unsigned char b[MaxCertPadding];
    const auto n = static_cast<size_t>(to - from);
    if (!src.ReadAt(from, b, n)) return false;
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

// The trailer that ends at `end`, or lies before up to maxPad zero bytes that end there.
bool TrailerBefore(TByteSource& src, uint64_t end, uint64_t maxPad, TTrailer& t) {
    for (uint64_t pad = 0; pad <= maxPad && pad + 8 <= end; ++pad) {
        if (pad && !AllZero(src, end - pad, end)) return false;
        if (TrailerAt(src, end - pad - 8, t)) return true;
    }
    return false;
}

}  // namespace

bool FindCertificateTable(TByteSource& src, TPeCertificateTable& table) {
    unsigned char head[PeHeadSize];
    const auto n = static_cast<size_t>(std::min<uint64_t>(sizeof head, src.Size()));
    if (!src.ReadAt(0, head, n) || !Plat::PeCertificateTable(head, n, table.Offset, table.Size))
        return false;
    return uint64_t(table.Offset) + table.Size <= src.Size();
}

TTrailer LocateTrailer(TByteSource& src) {
    TTrailer t;
    if (src.Size() < 8) FailPackage("not a KestBuild executable: the file is too short");
    TPeCertificateTable cert;
    if (FindCertificateTable(src, cert) && uint64_t(cert.Offset) + cert.Size == src.Size() &&
        TrailerBefore(src, cert.Offset, MaxCertPadding, t))
        return t;
    // Removing a signature can leave the alignment padding behind the trailer.
    if (TrailerBefore(src, src.Size(), MaxCertPadding, t)) return t;
    FailPackage(
        "not a KestBuild executable: no package trailer at its end (neither at the end of the "
        "file nor before a certificate table)");
}
