// fuzz-sources: tools/kestx/KestxReader.cpp tools/kestx/KestxArgs.cpp tools/kestx/KestxFiles.cpp
// fuzz-sources: tools/kestx/KestxNative-posix.cpp tools/kestx/KestxProgress.cpp
// fuzz-sources: tools/kestx/KestxSafePath.cpp reader/PkgParse.cpp reader/PkgVolumes.cpp
// fuzz-sources: reader/PkgSource.cpp reader/PkgCrc64.cpp reader/PkgTrailer.cpp
// fuzz-sources: reader/PkgStoredName.cpp reader/PkgFailThrow.cpp reader/PkgDecode.cpp
// fuzz-sources: reader/PkgPassword.cpp reader/PkgProbe.cpp reader/PkgX86Filter.cpp
// fuzz-sources: reader/PkgIni.cpp
// fuzz-sources: src/crypto/CryptoBase.cpp src/crypto/Gost.cpp
// fuzz-sources: src/crypto/Haval.cpp src/platform/Platform-posix.cpp
// fuzz-sources: src/platform/CodePage.cpp src/platform/PeImage.cpp src/platform/Wildcards.cpp
// fuzz-libs: -llzma -lpthread
// The whole of "kestx verify --password pw" on arbitrary bytes taken as a built executable:
// trailer, volumes, records, the password check, decryption and decoding of every file and
// their checksums. The seeds are small packages, some protected with "pw", some holding an
// x86 program, some with plain files in the group stream, so that mutations reach the
// decoders, the x86 filter and the cipher. Any input must end in a result or the reader's
// own error, never in a crash, a hang or a huge allocation.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "KestxArgs.h"
#include "KestxErrors.h"
#include "KestxReader.h"

namespace {

// The reader works on files: each input is written to one of its own, beside no volumes.
const std::string& ScratchFile() {
    static const std::string name = "verify-" + std::to_string(getpid()) + ".exe";
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = ScratchFile();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return 0;
    std::ostringstream out, err;
    TKestxStreams io{out, err, nullptr};
    try {
        RunKestxCommand(ParseKestxArgs({"verify", path, "--password", "pw"}), io);
    } catch (const EKestxData&) {
    }
    return 0;
}
