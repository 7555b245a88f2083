// fuzz-sources: reader/PkgParse.cpp reader/PkgVolumes.cpp reader/PkgSource.cpp
// fuzz-sources: reader/PkgCrc64.cpp reader/PkgTrailer.cpp reader/PkgStoredName.cpp
// fuzz-sources: reader/PkgFailThrow.cpp reader/PkgDecode.cpp reader/PkgX86Filter.cpp
// fuzz-sources: src/platform/PeImage.cpp
// fuzz-libs: -llzma
// The package reader on arbitrary bytes taken as a built executable: trailer search
// (certificate table included), volume checks, every record, the group stream's entries
// and the stored-name checks.
// Any input must end in a clean result or EPackageData, never in a crash, a hang or a huge
// allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PkgErrors.h"
#include "PkgParse.h"
#include "PkgStoredName.h"
#include "PkgTrailer.h"
#include "PkgVolumes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemorySource src(data, size);
    try {
        const TTrailer trailer = LocateTrailer(src);
        TPackageStream stream(src, FirstVolumeBegin(src, trailer.Offset), trailer.Offset, "fuzz",
                              nullptr);
        TPackageParser parser(stream);
        TFileEntry file;
        std::vector<unsigned char> block;
        std::vector<std::string> parts;
        while (parser.NextFile(file)) {
            CheckStoredName(file.Name, parts, true);
            CheckStoredName(file.Name, parts, false);
            while (parser.NextBlock(block)) {
            }
        }
    } catch (const EPackageData&) {
    }
    return 0;
}
