#include "KestxTrailer.h"

#include <string>

#include "KestxErrors.h"

namespace {

constexpr uint32_t PeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t Pe32Magic = 0x10B;
constexpr uint16_t Pe32PlusMagic = 0x20B;
constexpr uint32_t SecurityDirectory = 4;
// Authenticode aligns the table to 8 bytes, so at most 7 zero bytes precede it.
constexpr uint64_t MaxCertPadding = 7;

bool ReadLe32At(TByteSource& src, uint64_t offset, uint32_t& value) {
    unsigned char b[4];
    if (!src.ReadAt(offset, b, 4)) return false;
    value = GetLe32(b);
    return true;
}

// Offset of the data directories inside the optional header, by its magic.
bool DataDirectoriesOffset(uint16_t magic, uint32_t& dirs, uint32_t& countField) {
    if (magic == Pe32Magic) {
        countField = 92;
        dirs = 96;
    } else if (magic == Pe32PlusMagic) {
        countField = 108;
        dirs = 112;
    } else {
        return false;
    }
    return true;
}

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
    unsigned char mz[2];
    uint32_t peOffset = 0, sig = 0;
    if (!src.ReadAt(0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return false;
    if (!ReadLe32At(src, 0x3C, peOffset) || !ReadLe32At(src, peOffset, sig) || sig != PeSignature)
        return false;
    const uint64_t optional = uint64_t(peOffset) + 24;  // signature + COFF file header
    unsigned char magicBytes[2];
    uint32_t dirs = 0, countField = 0, count = 0;
    if (!src.ReadAt(optional, magicBytes, 2) ||
        !DataDirectoriesOffset(GetLe16(magicBytes), dirs, countField))
        return false;
    if (!ReadLe32At(src, optional + countField, count) || count <= SecurityDirectory) return false;
    const uint64_t entry = optional + dirs + 8 * SecurityDirectory;
    if (!ReadLe32At(src, entry, table.Offset) || !ReadLe32At(src, entry + 4, table.Size))
        return false;
    return table.Offset && table.Size && uint64_t(table.Offset) + table.Size <= src.Size();
}

TTrailer LocateTrailer(TByteSource& src) {
    TTrailer t;
    if (src.Size() < 8) throw EKestxData("not a KestBuild executable: the file is too short");
    TPeCertificateTable cert;
    if (FindCertificateTable(src, cert) && uint64_t(cert.Offset) + cert.Size == src.Size() &&
        TrailerBefore(src, cert.Offset, MaxCertPadding, t))
        return t;
    if (TrailerBefore(src, src.Size(), 0, t)) return t;
    throw EKestxData(
        "not a KestBuild executable: no package trailer at its end (neither at the end of the "
        "file nor before a certificate table)");
}
