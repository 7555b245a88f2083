#include "KestxTestKit.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "HPacker.h"
#include "KestxArgs.h"
#include "KestxErrors.h"
#include "KestxFiles.h"
#include "KestxNative.h"
#include "KestxReader.h"
#include "PkgParse.h"
#include "PkgPassword.h"
#include "PkgTrailer.h"
#include "PkgVolumes.h"

namespace fs = std::filesystem;

namespace KestxTestKit {

namespace {

void PutLe32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutLe16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

constexpr size_t PeOffset = 0x80;

size_t SecurityEntryOffset(const std::string& image) {
    const size_t optional = PeOffset + 24;
    const bool plus = static_cast<unsigned char>(image[optional + 1]) == 0x02;
    return optional + (plus ? 112 : 96) + 8 * 4;
}

uint32_t ProgressSum = 0;
uint32_t ProgressFiles = 0;
std::string LastProgressName;

bool SumPresetupProgress(const std::string& fileName, int32_t fileSize, int32_t, int32_t) {
    // One size per file, as the build counts it.
    if (fileName != LastProgressName) {
        LastProgressName = fileName;
        ProgressSum += static_cast<uint32_t>(fileSize);
        ++ProgressFiles;
    }
    return true;
}

void SetVolumeSize(const std::string& value) {
    static std::string entry;  // putenv keeps the pointer
    entry = "KEST_VOLUME_SIZE=" + value;
    putenv(entry.data());
}

bool IsPresetup(const std::string& stored) {
    return stored.size() >= 9 &&
           std::equal(stored.begin(), stored.begin() + 9, "Presetup\\", [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

std::vector<TTreeFile> PackingOrder(const std::vector<TTreeFile>& files,
                                    const TBuildOptions& options) {
    std::vector<TTreeFile> order;
    if (options.WithKestIni) {
        std::string ini = options.IniHead + "[Config]\r\nLanguages=ENU\r\n";
        if (!options.Password.empty())
            ini +=
                "PswCheckHash=" + TPacker::HashStringHex("zvq" + options.Password + "zvq") + "\r\n";
        order.push_back({"Presetup\\Kest.ini", ini});
    }
    for (const auto& f : files)
        if (IsPresetup(f.Stored)) order.push_back(f);
    for (const auto& f : files)
        if (!IsPresetup(f.Stored)) order.push_back(f);
    return order;
}

void AppendFile(std::ofstream& out, const fs::path& from) {
    std::ifstream in(from, std::ios::binary);
    out << in.rdbuf();
}

}  // namespace

std::string MakePeStub(bool plus, size_t size) {
    std::string s(std::max<size_t>(size, 0x200), '\0');
    s[0] = 'M';
    s[1] = 'Z';
    PutLe32(s, 0x3C, PeOffset);
    s.replace(PeOffset, 4, std::string("PE\0\0", 4));
    PutLe16(s, PeOffset + 4, plus ? 0x8664 : 0x14C);  // machine
    PutLe16(s, PeOffset + 20, plus ? 240 : 224);      // size of the optional header
    const size_t optional = PeOffset + 24;
    PutLe16(s, optional, plus ? 0x20B : 0x10B);
    PutLe32(s, optional + (plus ? 108 : 92), 16);  // number of data directories
    return s;
}

std::string SignImage(std::string image, size_t certBytes) {
    image.resize((image.size() + 7) / 8 * 8, '\0');
    const size_t offset = image.size();
    const size_t length = (8 + certBytes + 7) / 8 * 8;
    std::string cert(length, '\x5A');
    PutLe32(cert, 0, static_cast<uint32_t>(length));
    PutLe16(cert, 4, 0x0200);  // revision 2
    PutLe16(cert, 6, 0x0002);  // PKCS #7 signed data
    image += cert;
    const size_t entry = SecurityEntryOffset(image);
    PutLe32(image, entry, static_cast<uint32_t>(offset));
    PutLe32(image, entry + 4, static_cast<uint32_t>(length));
    return image;
}

std::string TrailerBytes(uint32_t presetupSize, uint32_t s) {
    std::string t(8, '\0');
    PutLe32(t, 0, presetupSize);
    PutLe32(t, 4, s);
    return t;
}

TBuilt BuildPackage(const std::string& dir, const std::vector<TTreeFile>& files,
                    const TBuildOptions& options) {
    TBuilt built;
    built.Files = PackingOrder(files, options);
    const fs::path base(dir);
    fs::create_directories(base / "src");
    ProgressSum = ProgressFiles = 0;
    LastProgressName.clear();
    SetVolumeSize(options.VolumeSize);
    {
        TPacker packer((base / "Setup.1").string(), nullptr, SumPresetupProgress, options.Level);
        bool passwordSet = false;
        for (size_t i = 0; i < built.Files.size(); ++i) {
            const TTreeFile& f = built.Files[i];
            if (!IsPresetup(f.Stored) && !passwordSet) {
                built.PresetupSize = ProgressSum;
                if (options.Encrypt) packer.SetPassword(options.Password);
                passwordSet = true;
            }
            fs::path source = base / "src" / std::to_string(i);
            if (f.SourcePath.empty())
                WriteBytes(source.string(), f.Bytes);
            else
                source = f.SourcePath;
            if (!packer.AddFile(source.string(), f.Stored))
                throw std::runtime_error("Pack.dll refused " + f.Stored);
        }
        if (!passwordSet) built.PresetupSize = ProgressSum;
        if (!packer.Close()) throw std::runtime_error("Pack.dll could not close the package");
    }
    SetVolumeSize("");
    std::string stub = MakePeStub(false, 3000);
    {
        std::ofstream out(base / "Setup.exe", std::ios::binary | std::ios::trunc);
        out << stub;
        AppendFile(out, base / "Setup.1");
    }
    const auto s = static_cast<uint32_t>(fs::file_size(base / "Setup.exe"));
    {
        std::ofstream out(base / "Setup.exe", std::ios::binary | std::ios::app);
        out << TrailerBytes(built.PresetupSize, s);
    }
    fs::remove(base / "Setup.1");
    if (options.Signed)
        WriteBytes((base / "Setup.exe").string(),
                   SignImage(ReadBytes((base / "Setup.exe").string())));
    fs::remove_all(base / "src");
    built.Exe = (base / "Setup.exe").string();
    built.Volumes = 1;
    while (fs::exists(base / ("Setup." + std::to_string(built.Volumes + 1)))) ++built.Volumes;
    return built;
}

std::vector<TStoredFile> StoredBlocks(const std::string& exe, uint32_t* dictSize) {
    TFileSource src(exe);
    const TTrailer trailer = LocateTrailer(src);
    TVolumeFiles volumes(exe);
    TPackageStream stream(src, FirstVolumeBegin(src, trailer.Offset), trailer.Offset, exe,
                          &volumes);
    TPackageParser parser(stream);
    if (dictSize) *dictSize = parser.Info().DictSize;
    std::vector<TStoredFile> files;
    TFileEntry entry;
    std::vector<unsigned char> block;
    while (parser.NextFile(entry)) {
        files.push_back({entry.Name, entry.Codec, entry.Plain, {}});
        while (parser.NextBlock(block))
            files.back().Blocks.emplace_back(block.begin(), block.end());
    }
    return files;
}

TRunResult RunKestx(const std::vector<std::string>& args, const char* environmentPassword) {
    TRunResult r;
    std::ostringstream out, err;
    try {
        TKestxArgs parsed = ParseKestxArgs(args);
        TakePassword(parsed, environmentPassword);
        TKestxStreams io{out, err, nullptr};
        r.Code = RunKestxCommand(parsed, io);
    } catch (const EKestxUsage& e) {
        r.Code = KestxExitUsage;
        r.Error = e.what();
    } catch (const EKestxData& e) {
        r.Code = KestxExitData;
        r.Error = e.what();
    }
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

std::vector<TTreeFile> ReadTree(const std::string& dir) {
    std::vector<TTreeFile> files;
    const fs::path root = NativePath(dir);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (!it->is_regular_file()) continue;
        std::string rel = AnsiName(fs::relative(it->path(), root));
        std::replace(rel.begin(), rel.end(), '/', '\\');
        std::ifstream in(it->path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files.push_back({rel, bytes.str()});
    }
    std::sort(files.begin(), files.end(),
              [](const TTreeFile& a, const TTreeFile& b) { return a.Stored < b.Stored; });
    return files;
}

std::string ReadBytes(const std::string& ansiPath) {
    std::ifstream in(NativePath(ansiPath), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + ansiPath);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& ansiPath, const std::string& bytes) {
    std::ofstream out(NativePath(ansiPath), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + ansiPath);
}

std::string MakeData(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* const words[] = {"installer ", "package ", "volume ",  "kest ",
                                        "data\r\n",   "setup ",   "archive ", "0123456789 "};
    std::string s;
    s.reserve(size);
    while (s.size() < size) {
        if (rng() % 4 == 0) {
            for (int i = 0; i < 64 && s.size() < size; ++i) s += static_cast<char>(rng() & 0xFF);
        } else {
            s += words[rng() % 8];
        }
    }
    s.resize(size);
    return s;
}

bool MakeTargetWithLink(const std::string& dir, const std::string& linkName, fs::path& target,
                        fs::path& outside, std::string& why) {
    target = NativePath(dir) / "target";
    outside = NativePath(dir) / "outside";
    fs::create_directories(target);
    fs::create_directories(outside);
    std::error_code ec;
    fs::create_directory_symlink(outside, target / NativePath(linkName), ec);
    if (ec) why = "symbolic links cannot be made here: " + ec.message();
    return !ec;
}

bool OnWindows() {
    return FileSystemIsWindows();
}

}  // namespace KestxTestKit
