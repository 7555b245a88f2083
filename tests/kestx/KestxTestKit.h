// Helpers for the kestx tests: tiny PE images (signed or not), packages built with the
// real packer and Pack.dll, and in-process runs of the kestx commands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace KestxTestKit {

/// A minimal PE image header (PE32, or PE32+ when plus) padded to size bytes.
std::string MakePeStub(bool plus, size_t size = 1024);
/// Appends a certificate table after zero padding to 8 bytes and points the PE's security
/// directory at it, as signing tools do.
std::string SignImage(std::string image, size_t certBytes = 1500);
/// The 8-byte trailer for a file of size s before it.
std::string TrailerBytes(uint32_t presetupSize, uint32_t s);

struct TTreeFile {
    std::string Stored;  // stored name, "\" separators, any bytes
    std::string Bytes;
    std::string SourcePath = {};  // when set, the packer reads this file instead of Bytes
};

struct TBuildOptions {
    std::string Password;  // empty: not protected
    int32_t Level = 7;
    std::string VolumeSize;   // KEST_VOLUME_SIZE for the build; empty: not set
    bool Signed = false;      // append a certificate table to the executable
    bool WithKestIni = true;  // add Presetup\Kest.ini (with the check hash when protected)
    bool Encrypt = true;      // false: Kest.ini holds the check hash, nothing is encrypted
    std::string IniHead;      // text at the start of Kest.ini, before its [Config] section
};

struct TBuilt {
    std::string Exe;               // the executable (stub, volume 1, trailer)
    uint32_t PresetupSize = 0;     // the trailer's first value
    uint32_t Volumes = 0;          // volume files written by the library
    std::vector<TTreeFile> Files;  // in packing order, Kest.ini included
};

/// Packs files (presetup ones first, then SetPassword, then data ones, as the build does)
/// with TPacker and Pack.dll into dir/Setup.exe plus its further volumes.
TBuilt BuildPackage(const std::string& dir, const std::vector<TTreeFile>& files,
                    const TBuildOptions& options);

struct TRunResult {
    int Code = 0;
    std::string Out, Err;
    std::string Error;  // the message of the error that ended the run, if any
};
/// The package's data block records, file by file, as stored in the built executable
/// and its volumes.
struct TStoredFile {
    std::string Name;
    uint8_t Codec = 0;
    bool Plain = false;  // an entry of the group stream: Blocks are its bytes
    std::vector<std::string> Blocks;
};
/// The files of a package as stored, and the dictionary size of its streams.
std::vector<TStoredFile> StoredBlocks(const std::string& exe, uint32_t* dictSize = nullptr);

/// Runs kestx with these arguments in this process; environmentPassword stands for the
/// value of KESTX_PASSWORD (null: unset).
TRunResult RunKestx(const std::vector<std::string>& args,
                    const char* environmentPassword = nullptr);

/// Every regular file below dir, by its path relative to dir with "\" separators (in the
/// ANSI code page), with its contents.
std::vector<TTreeFile> ReadTree(const std::string& dir);

/// Reads or writes a whole file named by ANSI bytes.
std::string ReadBytes(const std::string& ansiPath);
void WriteBytes(const std::string& ansiPath, const std::string& bytes);

/// Deterministic test data: compressible text and random bytes mixed, by seed.
std::string MakeData(size_t size, uint32_t seed);

/// Makes dir/target and dir/outside, and a directory link target/linkName to outside.
/// False, with the reason, where links cannot be made.
bool MakeTargetWithLink(const std::string& dir, const std::string& linkName,
                        std::filesystem::path& target, std::filesystem::path& outside,
                        std::string& why);

/// True when the tests run as a Windows program (here: under Wine).
bool OnWindows();

}  // namespace KestxTestKit
