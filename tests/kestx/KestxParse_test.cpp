// The record parser on hand-made packages, written byte by byte from the format: each
// rule of the record sequence is broken once and must be reported.
#include <gtest/gtest.h>

#include <functional>

#include "KestxErrors.h"
#include "PkgCrc64.h"
#include "PkgParse.h"
#include "PkgTrailer.h"

namespace {

std::string Le(uint64_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

uint64_t Crc(const std::string& s) {
    return Crc64Update(0, s.data(), s.size());
}

std::string Start(int level = 7) {
    return std::string("P") + Le(level, 1) + Le(1u << 20, 4);
}
std::string Header(const std::string& name, uint64_t size, int codec = 0, int filter = 0) {
    return std::string("F") + Le(codec, 1) + Le(filter, 1) + Le(name.size(), 2) + Le(size, 8) +
           name;
}
std::string Block(const std::string& bytes) {
    return std::string("D") + Le(bytes.size(), 4) + bytes;
}
std::string FileEnd(const std::string& bytes) {
    return std::string("E") + Le(Crc(bytes), 8);
}
std::string StoredFile(const std::string& name, const std::string& bytes) {
    return Header(name, bytes.size()) + Block(bytes) + FileEnd(bytes);
}
// The package end record over everything before it.
std::string WithEnd(const std::string& stream, uint32_t files) {
    return stream + "Z" + Le(files, 4) + Le(Crc(stream), 8);
}

// stub | volume 1 (header, stream, trailer) | executable trailer.
std::string Executable(const std::string& stream, uint32_t flags = 1, int version = 1) {
    std::string exe(100, 'x');
    exe[0] = 'M';
    exe[1] = 'Z';
    const std::string header =
        std::string("KESTPKG\x1A", 8) + Le(version, 2) + Le(32, 2) + Le(1, 4) + Le(0, 8) + Le(0, 8);
    const uint64_t length = 32 + stream.size() + 24;
    exe += header + stream + "KESTVEND" + Le(length, 8) + Le(1, 4) + Le(flags, 4);
    return exe + Le(7, 4) + Le(exe.size(), 4);
}

struct TParsed {
    std::vector<std::string> Names, Data;
};

TParsed Parse(const std::string& exe) {
    TMemorySource src(exe.data(), exe.size());
    const TTrailer t = LocateTrailer(src);
    TPackageStream stream(src, FirstVolumeBegin(src, t.Offset), t.Offset, "hand-made", nullptr);
    TPackageParser parser(stream);
    TParsed out;
    TFileEntry file;
    std::vector<unsigned char> block;
    while (parser.NextFile(file)) {
        out.Names.push_back(file.Name);
        std::string data;
        while (parser.NextBlock(block)) data.append(block.begin(), block.end());
        EXPECT_EQ(parser.FileCrc(), Crc(data));
        out.Data.push_back(data);
    }
    return out;
}

TEST(KestxParse, HandMadePackageIsRead) {
    const std::string stream = Start() + StoredFile("Presetup\\Kest.ini", "[Config]") +
                               Header("Data\\two blocks.bin", 5) + Block("ab") + Block("") +
                               Block("cde") + FileEnd("abcde") + StoredFile("Data\\empty", "");
    const TParsed p = Parse(Executable(WithEnd(stream, 3)));
    EXPECT_EQ(p.Names, (std::vector<std::string>{"Presetup\\Kest.ini", "Data\\two blocks.bin",
                                                 "Data\\empty"}));
    EXPECT_EQ(p.Data, (std::vector<std::string>{"[Config]", "abcde", ""}));
    EXPECT_TRUE(Parse(Executable(WithEnd(Start(0), 0))).Names.empty());
}

TEST(KestxParse, BrokenRulesAreReported) {
    const std::string one = StoredFile("a", "xyz");
    struct TCase {
        const char* Rule;
        std::string Exe;
        std::string Message;
    };
    const TCase cases[] = {
        {"no start record", Executable(WithEnd(one, 1)), "start record"},
        {"level above 9", Executable(WithEnd(Start(10) + one, 1)), "compression level"},
        {"file without blocks", Executable(WithEnd(Start() + Header("a", 0) + FileEnd(""), 1)),
         "without data blocks"},
        {"unknown codec",
         Executable(WithEnd(Start() + Header("a", 0, 3) + Block("") + FileEnd(""), 1)),
         "unknown codec"},
        {"unknown filter",
         Executable(WithEnd(Start() + Header("a", 0, 0, 1) + Block("") + FileEnd(""), 1)),
         "unknown filter"},
        {"size of 2 GiB",
         Executable(WithEnd(Start() + Header("a", 1ull << 31) + Block("") + FileEnd(""), 1)),
         "2 GiB"},
        {"unknown record", Executable(WithEnd(Start() + one + "X", 1)), "record type"},
        {"block outside a file", Executable(WithEnd(Start() + Block("a"), 0)), "record type"},
        {"file count", Executable(WithEnd(Start() + one, 2)), "counts 2 files, found 1"},
        {"package CRC", Executable(Start() + one + "Z" + Le(1, 4) + Le(12345, 8)), "CRC-64"},
        {"bytes after the end", Executable(WithEnd(Start() + one, 1) + "!"),
         "after the package end"},
        {"no end record", Executable(Start() + one), "ends early"},
        {"block longer than the package",
         Executable(Start() + Header("a", 3) + "D" + Le(1u << 30, 4) + "xyz"), "ends early"},
        {"last volume not marked", Executable(WithEnd(Start() + one, 1), 0), "missing volume 2"},
        {"unknown trailer flag", Executable(WithEnd(Start() + one, 1), 3), "bad volume trailer"},
        {"format version 2", Executable(WithEnd(Start() + one, 1), 1, 2), "format version 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Rule);
        try {
            Parse(c.Exe);
            ADD_FAILURE() << "accepted";
        } catch (const EKestxData& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
