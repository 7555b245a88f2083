#include "KestxReader.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "KestxErrors.h"
#include "KestxFiles.h"
#include "KestxNative.h"
#include "KestxProgress.h"
#include "KestxSafePath.h"
#include "PkgCrc64.h"
#include "PkgDecode.h"
#include "PkgParse.h"
#include "PkgPassword.h"
#include "PkgProbe.h"
#include "PkgTrailer.h"
#include "PkgVolumes.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace {

// Kest.ini is kept in memory to find the password check; its FileInfo section grows with
// the number of files (about 50 bytes each), so the bound is far above any real project.
constexpr size_t MaxIniCapture = 64u << 20;

std::string PadLeft(const std::string& s, size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string Plural(uint64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Offset of the volume header signature, when a package starts somewhere in the file.
bool FindPackageStart(TByteSource& src, uint64_t& at) {
    static const unsigned char sig[8] = {'K', 'E', 'S', 'T', 'P', 'K', 'G', 0x1A};
    std::vector<unsigned char> buf(1u << 20);
    for (uint64_t pos = 0; pos < src.Size(); pos += buf.size() - 7) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(buf.size(), src.Size() - pos));
        if (n < 8 || !src.ReadAt(pos, buf.data(), n)) return false;
        for (size_t i = 0; i + 8 <= n; ++i)
            if (buf[i] == sig[0] && std::memcmp(&buf[i], sig, 8) == 0) {
                at = pos + i;
                return true;
            }
        if (n < buf.size()) return false;
    }
    return false;
}

TTrailer LocateOrExplain(TByteSource& exe, const std::string& name) {
    try {
        return LocateTrailer(exe);
    } catch (const EKestxData&) {
        uint64_t at = 0;
        if (FindPackageStart(exe, at))
            throw EKestxData("'" + name + "' is truncated: a package starts at offset " +
                             std::to_string(at) + " but its end is missing");
        throw;
    }
}

// Hands a file's bytes to its checksum, its output file and, for Kest.ini, to memory.
class TFileSink : public TByteSink {
  public:
    std::ofstream* File = nullptr;
    std::string* Capture = nullptr;
    uint64_t Crc = 0;
    void Write(const unsigned char* data, size_t size) override {
        Crc = Crc64Update(Crc, data, size);
        if (File &&
            !File->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)))
            throw EKestxData("cannot write: disk full or not writable");
        if (Capture) {
            if (size > MaxIniCapture - Capture->size())
                throw EKestxData(
                    "'Presetup\\Kest.ini' is larger than 64 MiB: not a package "
                    "that KestBuild builds");
            Capture->append(reinterpret_cast<const char*>(data), size);
        }
    }
};

// A file being extracted: written under a temporary name and renamed only once its
// checksum holds, so a damaged file never appears under its real name.
class TOutputFile {
  public:
    explicit TOutputFile(const fs::path& final) : Final(final) {
        Temp = final;
        Temp += ".kestx-part";
        RefuseLinkOrDirectory(Temp);
        std::error_code ec;
        fs::remove(Temp, ec);
        Stream.open(Temp, std::ios::binary | std::ios::trunc);
        if (!Stream) throw EKestxData("cannot create '" + AnsiName(Temp) + "'");
    }
    ~TOutputFile() {
        if (Committed) return;
        Stream.close();
        std::error_code ec;
        fs::remove(Temp, ec);
    }
    std::ofstream& Out() { return Stream; }
    void Commit() {
        Stream.close();
        if (!Stream) throw EKestxData("cannot write '" + AnsiName(Final) + "'");
        RefuseLinkOrDirectory(Final);
        std::error_code ec;
        fs::remove(Final, ec);
        fs::rename(Temp, Final, ec);
        if (ec) throw EKestxData("cannot create '" + AnsiName(Final) + "': " + ec.message());
        Committed = true;
    }

  private:
    fs::path Final, Temp;
    std::ofstream Stream;
    bool Committed = false;
};

class TSession {
  public:
    TSession(const TKestxArgs& args, TKestxStreams& io) : Args(args), Io(io) {}
    int Run();

  private:
    void ListFiles(TPackageParser& parser);
    void DecodeFiles(TPackageParser& parser);
    void DecodeOne(TPackageParser& parser, const TFileEntry& file, TPayloadDecoder& decoder);
    std::unique_ptr<TOutputFile> OutputFor(const TFileEntry& file);
    bool DataIsProtected();
    void AcceptKestIni(const std::string& text);
    void SkipBlocks(TPackageParser& parser);
    void Advance(const std::string& label);
    void Summary(uint32_t volumes);

    const TKestxArgs& Args;
    TKestxStreams& Io;
    TPackageStream* Stream = nullptr;
    std::unique_ptr<TProgressBar> Bar;
    uint64_t Shown = 0;
    std::unique_ptr<TFileDecryptor> Decryptor;
    std::vector<unsigned char> Block;
    uint32_t Files = 0;
    uint64_t Bytes = 0;
    uint32_t Refused = 0;
};

void TSession::Advance(const std::string& label) {
    Bar->SetLabel(label);
    Bar->Advance(Stream->Position() - Shown);
    Shown = Stream->Position();
}

void TSession::Summary(uint32_t volumes) {
    const std::string what =
        Plural(Files, "file") + ", " + Plural(Bytes, "byte") + " in " + Plural(volumes, "volume");
    switch (Args.Command) {
        case TKestxCommand::List:
            Io.Out << what << "\n"
                   << (DataIsProtected() ? "The data files are protected by a password.\n"
                                         : "The data files are not protected.\n");
            break;
        case TKestxCommand::Verify:
            Io.Out << "OK: " << what << ", every checksum matches\n";
            break;
        default:
            Io.Out << "Extracted " << Plural(Files - Refused, "file") << " to "
                   << Plat::PrintableText(Args.Dir);
            if (Refused) Io.Out << "; refused " << Plural(Refused, "unsafe stored name");
            Io.Out << "\n";
            break;
    }
}

void TSession::SkipBlocks(TPackageParser& parser) {
    while (parser.NextBlock(Block)) Advance("");
}

void TSession::ListFiles(TPackageParser& parser) {
    TFileEntry file;
    while (parser.NextFile(file)) {
        SkipBlocks(parser);
        Bar->Finish();
        Io.Out << PadLeft(std::to_string(file.Size), 11) << "  " << Plat::PrintableText(file.Name)
               << "\n";
        ++Files;
        Bytes += file.Size;
    }
}

bool TSession::DataIsProtected() {
    TFileSource exe(Args.File);
    const TTrailer trailer = LocateTrailer(exe);
    TVolumeFiles volumes(Args.File);
    TPackageStream stream(exe, FirstVolumeBegin(exe, trailer.Offset), trailer.Offset, Args.File,
                          &volumes);
    return DataIsEncrypted(stream);
}

void TSession::AcceptKestIni(const std::string& text) {
    const std::string hash = FindCheckHash(text);
    // A build without a password keeps a check hash that the project's Kest.ini holds.
    if (hash.empty() || !DataIsProtected()) return;
    if (!Args.HasPassword)
        throw EKestxData(
            "the package is protected by a password: give it with --password-file, "
            "KESTX_PASSWORD or --password");
    std::string expected = PasswordCheckHash(Args.Password);
    std::string given = hash;
    for (char& c : given)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 32);
    if (given != expected) throw EKestxData("wrong password");
    Decryptor = std::make_unique<TFileDecryptor>(Args.Password);
}

std::unique_ptr<TOutputFile> TSession::OutputFor(const TFileEntry& file) {
    if (Args.Command != TKestxCommand::Extract) return nullptr;
    std::vector<std::string> parts;
    const std::string why = CheckStoredName(file.Name, parts, FileSystemIsWindows());
    if (!why.empty()) {
        Bar->Finish();
        Io.Err << "kestx: refused '" << Plat::PrintableText(file.Name) << "': the stored name "
               << why << "\n";
        ++Refused;
        return nullptr;
    }
    return std::make_unique<TOutputFile>(PrepareOutputFile(NativePath(Args.Dir), parts));
}

void TSession::DecodeOne(TPackageParser& parser, const TFileEntry& file, TPayloadDecoder& decoder) {
    std::unique_ptr<TOutputFile> output = OutputFor(file);
    std::string ini;
    TFileSink sink;
    if (output) sink.File = &output->Out();
    if (IsKestIniName(file.Name)) sink.Capture = &ini;
    const bool encrypted = Decryptor && !file.Plain && !IsPresetupName(file.Name);
    if (encrypted) Decryptor->StartFile();
    decoder.BeginFile(file, sink);
    while (parser.NextBlock(Block)) {
        if (encrypted) Decryptor->DecryptBlock(Block.data(), Block.size());
        decoder.Feed(Block.data(), Block.size());
        Advance(file.Name);
    }
    decoder.EndFile();
    if (sink.Crc != parser.FileCrc())
        throw EKestxData("checksum mismatch in '" + file.Name + "': the data is corrupt" +
                         (encrypted ? " or the password is wrong" : ""));
    if (output) output->Commit();
    if (sink.Capture) AcceptKestIni(ini);
}

void TSession::DecodeFiles(TPackageParser& parser) {
    TPayloadDecoder decoder(parser.Info());
    TFileEntry file;
    while (parser.NextFile(file)) {
        DecodeOne(parser, file, decoder);
        ++Files;
        Bytes += file.Size;
    }
    if (Args.HasPassword && !Decryptor)
        Io.Err << "kestx: note: the package is not protected; the password was not needed\n";
}

int TSession::Run() {
    TFileSource exe(Args.File);
    const TTrailer trailer = LocateOrExplain(exe, Args.File);
    const uint64_t begin = FirstVolumeBegin(exe, trailer.Offset);
    TVolumeFiles volumes(Args.File);
    TPackageStream stream(exe, begin, trailer.Offset, Args.File, &volumes);
    Stream = &stream;
    const uint64_t total = trailer.Offset - begin + volumes.SizeOfFurtherVolumes();
    Bar = std::make_unique<TProgressBar>(Io.Progress, total);
    if (Args.Command == TKestxCommand::Extract) {
        std::error_code ec;
        fs::create_directories(NativePath(Args.Dir), ec);
        if (!fs::is_directory(NativePath(Args.Dir), ec))
            throw EKestxData("cannot create the directory '" + Args.Dir + "'");
    }
    TPackageParser parser(stream);
    if (Args.Command == TKestxCommand::List)
        ListFiles(parser);
    else
        DecodeFiles(parser);
    Bar->Finish();
    Summary(stream.VolumeCount());
    return Refused ? KestxExitData : KestxExitOk;
}

}  // namespace

int RunKestxCommand(const TKestxArgs& args, TKestxStreams& io) {
    TSession session(args, io);
    return session.Run();
}
