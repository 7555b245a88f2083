#include "PkgProbe.h"

#include <string>
#include <vector>

#include "PkgCrc64.h"
#include "PkgDecode.h"
#include "PkgFail.h"
#include "PkgParse.h"
#include "PkgPassword.h"

namespace {

// Kest.ini grows with the number of files (about 50 bytes each): far above any real project.
constexpr size_t MaxIniCapture = 64u << 20;

class TProbeSink : public TByteSink {
  public:
    std::string* Capture = nullptr;
    uint64_t Crc = 0;
    void Write(const unsigned char* data, size_t size) override {
        Crc = Crc64Update(Crc, data, size);
        if (!Capture) return;
        if (size > MaxIniCapture - Capture->size())
            FailPackage("'Presetup\\Kest.ini' is larger than 64 MiB");
        Capture->append(reinterpret_cast<const char*>(data), size);
    }
};

// Decodes one file as stored; false when its data does not decode to its checksum.
bool DecodesRight(TPackageParser& parser, const TFileEntry& file, TPayloadDecoder& decoder,
                  std::string* capture) {
    TProbeSink sink;
    sink.Capture = capture;
    std::vector<unsigned char> block;
    decoder.BeginFile(file, sink);
    while (!decoder.Failed() && parser.NextBlock(block)) decoder.Feed(block.data(), block.size());
    if (decoder.Failed()) return false;
    decoder.EndFile();
    return !decoder.Failed() && sink.Crc == parser.FileCrc();
}

}  // namespace

bool DataIsEncrypted(TPackageStream& stream) {
    TPackageParser parser(stream);
    TPayloadDecoder decoder(parser.Info());
    std::string ini;
    TFileEntry file;
    while (parser.NextFile(file)) {
        if (IsPresetupName(file.Name)) {
            if (!DecodesRight(parser, file, decoder, IsKestIniName(file.Name) ? &ini : nullptr))
                FailPackage("checksum mismatch in '" + file.Name + "': the data is corrupt");
            continue;
        }
        // A data file of the group stream was added without a password.
        if (FindCheckHash(ini).empty() || file.Plain) return false;
        decoder.NoteFailuresOnly();
        if (!DecodesRight(parser, file, decoder, nullptr)) return true;
        if (file.Size != 0) return false;
    }
    return false;
}
