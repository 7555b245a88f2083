// Our own reader of PE images: the fixed version information of the version resource, the
// Authenticode certificate table.
// The image is untrusted: every offset and size is checked against the buffer before it is
// read, the resource tree is walked to a fixed depth, and nothing is allocated.
#include "PeImage.h"

#include <cstring>
#include <initializer_list>

namespace Plat {

namespace {

constexpr uint32_t RtVersion = 16;
constexpr uint32_t VersionResourceId = 1;
constexpr uint64_t FixedInfoSize = 52;
constexpr uint64_t SectionHeaderSize = 40;
constexpr uint64_t ResourceDirSize = 16;
constexpr uint64_t ResourceEntrySize = 8;
constexpr uint32_t SubdirFlag = 0x80000000u;

// A bounds-checked view of the image.
class Image {
  public:
    Image(const unsigned char* data, size_t size) : Data(data), Size(size) {}

    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= Size && length <= Size - offset;
    }
    bool U16(uint64_t offset, uint32_t& v) const {
        if (!Has(offset, 2)) return false;
        v = Data[offset] | (Data[offset + 1] << 8);
        return true;
    }
    bool U32(uint64_t offset, uint32_t& v) const {
        if (!Has(offset, 4)) return false;
        v = static_cast<uint32_t>(Data[offset]) | (static_cast<uint32_t>(Data[offset + 1]) << 8) |
            (static_cast<uint32_t>(Data[offset + 2]) << 16) |
            (static_cast<uint32_t>(Data[offset + 3]) << 24);
        return true;
    }

  private:
    const unsigned char* Data;
    uint64_t Size;
};

struct Sections {
    uint64_t table = 0;  // file offset of the first section header
    uint32_t count = 0;
};

struct Located {
    Sections sections;
    uint32_t dirRva = 0;  // the wanted data directory's address and size
    uint32_t dirSize = 0;
};

constexpr uint32_t ResourceDirectory = 2;
constexpr uint32_t SecurityDirectory = 4;

// MZ header, PE signature, optional header (PE32 or PE32+): the section table and one
// entry of the data directories (for the security directory the "RVA" is a file offset).
bool LocateDirectory(const Image& img, uint32_t index, Located& out) {
    uint32_t mz, peOffset, sig;
    if (!img.U16(0, mz) || mz != 0x5A4D || !img.U32(0x3C, peOffset)) return false;
    if (!img.U32(peOffset, sig) || sig != 0x00004550) return false;
    uint64_t coff = static_cast<uint64_t>(peOffset) + 4;
    uint32_t sectionCount, optSize, magic;
    if (!img.U16(coff + 2, sectionCount) || !img.U16(coff + 16, optSize)) return false;
    uint64_t opt = coff + 20;
    if (!img.U16(opt, magic)) return false;
    uint64_t countAt, dirsAt;
    if (magic == 0x10B) {
        countAt = 92, dirsAt = 96;
    } else if (magic == 0x20B) {
        countAt = 108, dirsAt = 112;
    } else {
        return false;
    }
    uint32_t dirCount;
    const uint64_t entry = dirsAt + index * 8;
    if (!img.U32(opt + countAt, dirCount) || dirCount <= index) return false;
    if (entry + 8 > optSize) return false;
    if (!img.U32(opt + entry, out.dirRva) || !img.U32(opt + entry + 4, out.dirSize)) return false;
    if (out.dirRva == 0 || out.dirSize == 0) return false;
    out.sections.table = opt + optSize;
    out.sections.count = sectionCount;
    return true;
}

// The file offset of an RVA, through the section that holds it in its raw data.
bool RvaToOffset(const Image& img, const Sections& s, uint32_t rva, uint64_t& offset) {
    for (uint32_t i = 0; i < s.count; ++i) {
        uint64_t h = s.table + static_cast<uint64_t>(i) * SectionHeaderSize;
        uint32_t va, rawSize, rawPtr;
        if (!img.U32(h + 12, va) || !img.U32(h + 16, rawSize) || !img.U32(h + 20, rawPtr))
            return false;
        if (rva >= va && rva - va < rawSize) {
            offset = static_cast<uint64_t>(rawPtr) + (rva - va);
            return img.Has(offset, 0);
        }
    }
    return false;
}

struct Entries {
    uint64_t first = 0;  // file offset of the first entry
    uint64_t named = 0, total = 0;
};

bool ReadDirectory(const Image& img, uint64_t base, uint64_t dirOffset, Entries& e) {
    uint32_t named, ids;
    uint64_t dir = base + dirOffset;
    if (!img.U16(dir + 12, named) || !img.U16(dir + 14, ids)) return false;
    e.first = dir + ResourceDirSize;
    e.named = named;
    e.total = static_cast<uint64_t>(named) + ids;
    return e.total > 0 && img.Has(e.first, e.total * ResourceEntrySize);
}

// The OffsetToData field of the entry with this numeric id.
bool FindId(const Image& img, const Entries& e, uint32_t id, uint32_t& target) {
    for (uint64_t i = e.named; i < e.total; ++i) {
        uint32_t name = 0;
        if (img.U32(e.first + i * ResourceEntrySize, name) && name == id)
            return img.U32(e.first + i * ResourceEntrySize + 4, target);
    }
    return false;
}

// The language the Windows resource loader would take on an English (United States)
// system: neutral, then the user's language, else the first.
bool PickLanguage(const Image& img, const Entries& e, uint32_t& target) {
    for (uint32_t lang : {0x0000u, 0x0409u})
        if (FindId(img, e, lang, target)) return true;
    return img.U32(e.first + 4, target);
}

bool Subdirectory(uint32_t field, uint64_t& offset) {
    if (!(field & SubdirFlag)) return false;
    offset = field & ~SubdirFlag;
    return true;
}

// The VS_VERSIONINFO block: header, key (UTF-16, NUL-ended), padding to 4, fixed info.
bool ReadFixedInfo(const Image& img, uint64_t block, uint64_t blockSize, uint32_t& ms,
                   uint32_t& ls) {
    uint32_t length, valueLength;
    if (blockSize < 6 || !img.U16(block, length) || !img.U16(block + 2, valueLength)) return false;
    uint64_t limit = length < blockSize ? length : blockSize;
    uint64_t pos = 6;
    for (;;) {
        uint32_t ch;
        if (pos + 2 > limit || !img.U16(block + pos, ch)) return false;
        pos += 2;
        if (ch == 0) break;
    }
    pos = (pos + 3) & ~static_cast<uint64_t>(3);
    // The signature is not checked: the Windows API does not check it either.
    if (valueLength < FixedInfoSize || pos + FixedInfoSize > limit) return false;
    return img.U32(block + pos + 8, ms) && img.U32(block + pos + 12, ls);
}

}  // namespace

bool PeFileVersion(const unsigned char* data, size_t size, uint32_t& ms, uint32_t& ls) {
    Image img(data, size);
    Located loc;
    uint64_t base;
    if (!LocateDirectory(img, ResourceDirectory, loc) ||
        !RvaToOffset(img, loc.sections, loc.dirRva, base))
        return false;
    uint32_t field;
    uint64_t names, langs;
    Entries e;
    if (!ReadDirectory(img, base, 0, e) || !FindId(img, e, RtVersion, field) ||
        !Subdirectory(field, names))
        return false;
    if (!ReadDirectory(img, base, names, e) || !FindId(img, e, VersionResourceId, field) ||
        !Subdirectory(field, langs))
        return false;
    if (!ReadDirectory(img, base, langs, e) || !PickLanguage(img, e, field) || (field & SubdirFlag))
        return false;
    uint32_t dataRva, dataSize;
    uint64_t block;
    if (!img.U32(base + field, dataRva) || !img.U32(base + field + 4, dataSize)) return false;
    if (!RvaToOffset(img, loc.sections, dataRva, block) || !img.Has(block, dataSize)) return false;
    uint32_t outMs, outLs;
    if (!ReadFixedInfo(img, block, dataSize, outMs, outLs)) return false;
    ms = outMs;
    ls = outLs;
    return true;
}

bool PeCertificateTable(const unsigned char* head, size_t size, uint32_t& offset,
                        uint32_t& length) {
    Located loc;
    if (!LocateDirectory(Image(head, size), SecurityDirectory, loc)) return false;
    offset = loc.dirRva;
    length = loc.dirSize;
    return true;
}

}  // namespace Plat
