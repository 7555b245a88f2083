// fuzz-sources: tools/kestx/KestxParse.cpp tools/kestx/KestxVolumes.cpp
// fuzz-sources: tools/kestx/KestxSource.cpp tools/kestx/KestxCrc64.cpp
// fuzz-sources: tools/kestx/KestxTrailer.cpp tools/kestx/KestxSafePath.cpp
// fuzz-sources: tools/kestx/KestxNative-posix.cpp src/platform/Platform-posix.cpp
// fuzz-sources: src/platform/Wildcards.cpp src/platform/PeVersion.cpp src/platform/CodePage.cpp
// The package reader on arbitrary bytes taken as a built executable: trailer search
// (certificate table included), volume checks, every record, and the stored-name checks.
// Any input must end in a clean result or EKestxData, never in a crash, a hang or a huge
// allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "KestxErrors.h"
#include "KestxParse.h"
#include "KestxSafePath.h"
#include "KestxTrailer.h"
#include "KestxVolumes.h"

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
    } catch (const EKestxData&) {
    }
    return 0;
}
