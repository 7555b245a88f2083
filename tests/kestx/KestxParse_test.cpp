// The record parser on hand-made packages, written byte by byte from the format: each
// rule of the record sequence is broken once and must be reported.
#include <gtest/gtest.h>
#include <lzma.h>

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
// Version 2: one record per file, numbers as LEB128, the name after what it shares with the
// name before.
std::string Varint(uint64_t v) {
    std::string s;
    for (; v >= 0x80; v >>= 7) s += static_cast<char>((v & 0x7F) | 0x80);
    return s + static_cast<char>(v);
}
std::string Header2(size_t shared, const std::string& rest, uint64_t size, int codec = 0) {
    return Le(codec, 1) + Varint(shared) + Varint(rest.size()) + rest + Varint(size);
}
std::string Block2(const std::string& bytes) {
    return Varint(bytes.size() + 1) + bytes;
}
std::string FileEnd2(const std::string& bytes) {
    return Varint(0) + Le(Crc(bytes), 8);
}
std::string StoredFile2(size_t shared, const std::string& rest, const std::string& bytes) {
    return Header2(shared, rest, bytes.size()) + Block2(bytes) + FileEnd2(bytes);
}

std::string Repeat(const std::string& part, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i) s += part;
    return s;
}

// Version 3: entries of the group stream, and its pieces.
std::string Entry(size_t shared, const std::string& rest, const std::string& bytes,
                  int codec = 1) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    return Header2(shared, rest, bytes.size(), codec) + bytes + Le(lzma_crc32(p, bytes.size(), 0), 4);
}
// One raw LZMA2 stream across the pieces, flushed at each piece's end as the library does.
class TGroupStream {
  public:
    TGroupStream() {
        lzma_options_lzma opt{};
        lzma_lzma_preset(&opt, 1);
        opt.dict_size = 1u << 20;
        lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
        EXPECT_EQ(lzma_raw_encoder(&Strm, filters), LZMA_OK);
    }
    ~TGroupStream() { lzma_end(&Strm); }
    /// A piece whose decoded bytes are content, cut into blocks of at most cut bytes.
    std::string Piece(const std::string& content, size_t cut = 7) {
        std::string out(content.size() + 4096, '\0');
        Strm.next_in = reinterpret_cast<const uint8_t*>(content.data());
        Strm.avail_in = content.size();
        Strm.next_out = reinterpret_cast<uint8_t*>(out.data());
        Strm.avail_out = out.size();
        EXPECT_EQ(lzma_code(&Strm, LZMA_SYNC_FLUSH), LZMA_STREAM_END);
        out.resize(out.size() - Strm.avail_out);
        std::string piece = "G";
        for (size_t at = 0; at < out.size(); at += cut) piece += Block2(out.substr(at, cut));
        return piece + Varint(0);
    }

  private:
    lzma_stream Strm = LZMA_STREAM_INIT;
};

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

struct TCase {
    const char* Rule;
    std::string Exe;
    std::string Message;
};

template <size_t N>
void ExpectRefused(const TCase (&cases)[N]) {
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

TEST(KestxParse, BrokenRulesAreReported) {
    const std::string one = StoredFile("a", "xyz");
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
        {"format version 4", Executable(WithEnd(Start() + one, 1), 1, 4), "format version 4"},
    };
    ExpectRefused(cases);
}

TEST(KestxParse, HandMadeVersion2PackageIsRead) {
    const std::string stream = Start() + StoredFile2(0, "Presetup\\Kest.ini", "[Config]") +
                               StoredFile2(9, "Other", "x") +
                               Header2(0, "Data\\two blocks.bin", 5) + Block2("ab") + Block2("") +
                               Block2("cde") + FileEnd2("abcde") + StoredFile2(6, "", "") +
                               StoredFile2(0, std::string(300, 'n'), std::string(200, 'd'));
    const TParsed p = Parse(Executable(WithEnd(stream, 5), 1, 2));
    EXPECT_EQ(p.Names,
              (std::vector<std::string>{"Presetup\\Kest.ini", "Presetup\\Other",
                                        "Data\\two blocks.bin", "Data\\t", std::string(300, 'n')}));
    EXPECT_EQ(p.Data,
              (std::vector<std::string>{"[Config]", "x", "abcde", "", std::string(200, 'd')}));
}

TEST(KestxParse, BrokenVersion2RulesAreReported) {
    const std::string one = StoredFile2(0, "abc", "xyz");
    const auto v2 = [](const std::string& stream) { return Executable(stream, 1, 2); };
    const TCase cases[] = {
        {"unknown codec",
         v2(WithEnd(Start() + Header2(0, "a", 0, 4) + Block2("") + FileEnd2(""), 1)),
         "unknown codec"},
        {"name shares more than the one before",
         v2(WithEnd(Start() + one + StoredFile2(4, "d", ""), 2)), "longer than the one before"},
        {"size of 2 GiB",
         v2(WithEnd(Start() + Header2(0, "a", 1ull << 31) + Block2("") + FileEnd2(""), 1)),
         "2 GiB"},
        {"number of six bytes",
         v2(WithEnd(Start() + Le(0, 1) + std::string(5, '\x80') + Le(0, 1), 1)), "name"},
        {"file without blocks", v2(WithEnd(Start() + Header2(0, "a", 0) + FileEnd2(""), 1)),
         "without data blocks"},
        {"block longer than the package",
         v2(Start() + Header2(0, "a", 3) + Varint(1u << 30) + "xyz"), "ends early"},
        {"file count", v2(WithEnd(Start() + one, 2)), "counts 2 files, found 1"},
        {"package CRC", v2(Start() + one + "Z" + Le(1, 4) + Le(12345, 8)), "CRC-64"},
        {"version 1 records in a version 2 package", v2(WithEnd(Start() + StoredFile("a", "b"), 1)),
         "unknown codec"},
    };
    ExpectRefused(cases);
}

// Pieces of one group stream around a file record: entries come out as files whose blocks
// are their bytes, with the names shared across entries and records.
TEST(KestxParse, HandMadeVersion3PackageIsRead) {
    // The pieces continue one stream, so they are made in order, one statement each.
    TGroupStream group;
    std::string stream = Start();
    stream += group.Piece(Entry(0, "Presetup\\Kest.ini", "[Config]") + Entry(9, "Other", "x") +
                          Entry(9, "Big", std::string(70000, 'b')));
    stream += StoredFile2(0, "Data\\x", "in a record");
    stream += group.Piece(Entry(5, "y", ""));
    stream += group.Piece(Entry(0, "Data\\z", "zz"), 1000);
    const TParsed p = Parse(Executable(WithEnd(stream, 6), 1, 3));
    EXPECT_EQ(p.Names, (std::vector<std::string>{"Presetup\\Kest.ini", "Presetup\\Other",
                                                 "Presetup\\Big", "Data\\x", "Data\\y",
                                                 "Data\\z"}));
    EXPECT_EQ(p.Data, (std::vector<std::string>{"[Config]", "x", std::string(70000, 'b'),
                                                "in a record", "", "zz"}));
}

TEST(KestxParse, BrokenVersion3RulesAreReported) {
    const auto v3 = [](const std::string& stream) { return Executable(stream, 1, 3); };
    const std::string entry = Entry(0, "a", "abc");
    const TCase cases[] = {
        {"piece ending inside an entry",
         v3(WithEnd(Start() + TGroupStream().Piece(entry.substr(0, entry.size() - 1)), 1)),
         "ends inside a file's entry"},
        {"entry whose bytes do not match their CRC-32",
         v3(WithEnd(Start() + TGroupStream().Piece(Header2(0, "a", 3, 1) + "abc" + Le(7, 4)), 1)),
         "CRC-32 of 'a'"},
        {"entry of a codec the group stream does not hold",
         v3(WithEnd(Start() + TGroupStream().Piece(Entry(0, "a", "abc", 2)), 1)),
         "in the group stream"},
        {"piece that is not LZMA2",
         v3(WithEnd(Start() + "G" + Block2("\x7Fnot lzma2") + Varint(0), 1)), "group stream"},
        {"empty block in a piece",
         v3(WithEnd(Start() + "G" + Block2("") + Varint(0), 0)), "an empty block"},
        {"piece in a version 2 package",
         Executable(WithEnd(Start() + TGroupStream().Piece(entry), 1), 1, 2), "record type 71"},
        {"file count", v3(WithEnd(Start() + TGroupStream().Piece(entry + entry), 1)),
         "counts 1 files, found 2"},
        // Taken one after the other, never by a call per piece that could run out of stack.
        {"a million empty pieces", v3(WithEnd(Start() + Repeat("G" + Varint(0), 1000000), 1)),
         "counts 1 files, found 0"},
    };
    ExpectRefused(cases);
}

}  // namespace
