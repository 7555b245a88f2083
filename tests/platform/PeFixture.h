// Small hand-made PE images with a version resource, for the version-reader tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace PeFixture {

struct ImageDesc {
    bool pe32plus = false;
    bool withVersion = true;          // an RT_VERSION type in the resource tree
    std::vector<uint32_t> ids = {1};  // version resources by id, ascending
    std::vector<uint32_t> langs = {0x409};
    uint32_t ms = 0x00020001, ls = 0x00000011;  // block (i, j) carries ms + i, ls + j
    std::string key = "VS_VERSION_INFO";
    uint16_t valueLength = 52;
    uint32_t signature = 0xFEEF04BDu;
};

/// The image and where its fields lie, so that tests can corrupt them.
struct Image {
    std::string bytes;
    size_t peHeader = 0;  // "PE\0\0"
    size_t optionalHeader = 0;
    size_t resourceDirEntry = 0;  // the data directory entry: RVA, size
    size_t sectionHeader = 0;
    size_t rsrc = 0;              // file offset of the resource section
    size_t rootDir = 0;           // root resource directory
    size_t versionTypeEntry = 0;  // the root's RT_VERSION entry
    size_t firstLangEntry = 0;    // first language entry of the first id
    size_t firstDataEntry = 0;    // its IMAGE_RESOURCE_DATA_ENTRY
    size_t firstBlock = 0;        // its VS_VERSIONINFO block
    size_t versionEnd = 0;        // end of the last block: the image's last needed byte
};

Image Make(const ImageDesc& desc = {});

void Put16(std::string& b, size_t at, uint32_t v);
void Put32(std::string& b, size_t at, uint32_t v);

}  // namespace PeFixture
