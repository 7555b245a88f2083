#include "PeFixture.h"

namespace PeFixture {

namespace {

constexpr uint32_t SectionRva = 0x1000;
constexpr size_t HeaderSize = 0x200;

size_t Align(size_t v, size_t a) {
    return (v + a - 1) / a * a;
}

std::string VersionBlock(const ImageDesc& s, uint32_t ms, uint32_t ls) {
    std::string b(6, '\0');
    for (char c : s.key) b += std::string{c, '\0'};
    b += std::string(2, '\0');
    b.resize(Align(b.size(), 4), '\0');
    size_t fixed = b.size();
    b.resize(fixed + 52, '\0');
    Put32(b, fixed, s.signature);
    Put32(b, fixed + 4, 0x00010000);
    Put32(b, fixed + 8, ms);
    Put32(b, fixed + 12, ls);
    Put32(b, fixed + 16, ms ^ 0x01000000);  // product version differs on purpose
    Put32(b, fixed + 20, ls ^ 0x01000000);
    Put16(b, 0, static_cast<uint32_t>(b.size()));
    Put16(b, 2, s.valueLength);
    return b;
}

void Directory(std::string& r, size_t at, uint32_t idCount) {
    Put16(r, at + 14, idCount);
}

void Entry(std::string& r, size_t at, uint32_t id, uint32_t target) {
    Put32(r, at, id);
    Put32(r, at + 4, target);
}

// The .rsrc section: root (RT_ICON, then RT_VERSION), id directory, one language
// directory per id, data entries, blocks.
std::string Resources(const ImageDesc& s, Image& img) {
    const size_t nIds = s.ids.size(), nLangs = s.langs.size();
    const size_t root = 0, names = 16 + 2 * 8;
    const size_t langs = names + 16 + 8 * nIds;
    const size_t data = langs + nIds * (16 + 8 * nLangs);
    size_t blocks = data + nIds * nLangs * 16;
    std::string r(blocks, '\0');
    Directory(r, root, s.withVersion ? 2 : 1);
    Entry(r, root + 16, 3, 0x80000000u | names);  // RT_ICON, never followed
    if (s.withVersion) Entry(r, root + 24, 16, 0x80000000u | names);
    Directory(r, names, static_cast<uint32_t>(nIds));
    for (size_t i = 0; i < nIds; ++i) {
        size_t ld = langs + i * (16 + 8 * nLangs);
        Entry(r, names + 16 + 8 * i, s.ids[i], 0x80000000u | static_cast<uint32_t>(ld));
        Directory(r, ld, static_cast<uint32_t>(nLangs));
        for (size_t j = 0; j < nLangs; ++j) {
            size_t de = data + (i * nLangs + j) * 16;
            Entry(r, ld + 16 + 8 * j, s.langs[j], static_cast<uint32_t>(de));
            std::string block =
                VersionBlock(s, s.ms + static_cast<uint32_t>(i), s.ls + static_cast<uint32_t>(j));
            size_t at = Align(r.size(), 4);
            r.resize(at, '\0');
            r += block;
            Put32(r, de, SectionRva + static_cast<uint32_t>(at));
            Put32(r, de + 4, static_cast<uint32_t>(block.size()));
            if (i == 0 && j == 0) {
                img.firstLangEntry = ld + 16;
                img.firstDataEntry = de;
                img.firstBlock = at;
            }
        }
    }
    img.rootDir = root;
    img.versionTypeEntry = root + 24;
    img.versionEnd = r.size();
    return r;
}

}  // namespace

void Put16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

Image Make(const ImageDesc& s) {
    Image img;
    std::string rsrc = Resources(s, img);
    const size_t rawSize = Align(rsrc.size(), 0x200);
    std::string& b = img.bytes;
    b.assign(HeaderSize, '\0');
    b[0] = 'M', b[1] = 'Z';
    img.peHeader = 0x40;
    Put32(b, 0x3C, static_cast<uint32_t>(img.peHeader));
    b.replace(img.peHeader, 4, std::string("PE\0\0", 4));
    const size_t coff = img.peHeader + 4, opt = coff + 20;
    const size_t optSize = s.pe32plus ? 240 : 224;
    Put16(b, coff, s.pe32plus ? 0x8664 : 0x14C);
    Put16(b, coff + 2, 1);
    Put16(b, coff + 16, static_cast<uint32_t>(optSize));
    Put16(b, coff + 18, s.pe32plus ? 0x2022 : 0x2102);
    Put16(b, opt, s.pe32plus ? 0x20B : 0x10B);
    Put32(b, opt + (s.pe32plus ? 24 : 28), 0x10000000);  // image base
    Put32(b, opt + 32, 0x1000);                          // section alignment
    Put32(b, opt + 36, 0x200);                           // file alignment
    Put16(b, opt + 40, 4);
    Put16(b, opt + 48, 4);
    Put32(b, opt + 56, static_cast<uint32_t>(SectionRva + Align(rsrc.size(), 0x1000)));
    Put32(b, opt + 60, static_cast<uint32_t>(HeaderSize));
    Put16(b, opt + 68, 2);
    const size_t dirs = opt + (s.pe32plus ? 112 : 96);
    Put32(b, opt + (s.pe32plus ? 108 : 92), 16);
    img.optionalHeader = opt;
    img.resourceDirEntry = dirs + 2 * 8;
    Put32(b, img.resourceDirEntry, SectionRva);
    Put32(b, img.resourceDirEntry + 4, static_cast<uint32_t>(rsrc.size()));
    img.sectionHeader = opt + optSize;
    b.replace(img.sectionHeader, 5, ".rsrc");
    Put32(b, img.sectionHeader + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(b, img.sectionHeader + 12, SectionRva);
    Put32(b, img.sectionHeader + 16, static_cast<uint32_t>(rawSize));
    Put32(b, img.sectionHeader + 20, static_cast<uint32_t>(HeaderSize));
    Put32(b, img.sectionHeader + 36, 0x40000040);  // initialised data, readable
    img.rsrc = HeaderSize;
    b += rsrc;
    b.resize(HeaderSize + rawSize, '\0');
    for (size_t* f : {&img.rootDir, &img.versionTypeEntry, &img.firstLangEntry, &img.firstDataEntry,
                      &img.firstBlock, &img.versionEnd})
        *f += HeaderSize;
    return img;
}

}  // namespace PeFixture
