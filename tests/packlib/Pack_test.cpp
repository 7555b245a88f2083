// Pack.dll driven through its exports, as the packer drives it, with recording callbacks;
// packages are read back with the test reader written from the format document.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "PackApi.h"
#include "PackReader.h"
#include "Platform.h"
#include "TestUtil.h"

namespace {

struct TReport {
    const char* NamePtr;
    std::string Name;
    int32_t Reserved, FileSize, BlockSize, Done;
    std::string Block;  // as the host leaves it
    bool InsideAddFile;
};

// The callbacks carry no context, so what they record lives here.
struct TRecorder {
    std::string VolumeBase;
    std::vector<int32_t> VolumeAsks;
    std::vector<TReport> Reports;
    std::vector<std::string> SpaceAsks;
    int32_t SpaceAnswer = -1;
    const char* FreeBytesOnAsk = nullptr;  // set as the fake free space when asked
    size_t StopAtReport = SIZE_MAX;
    bool ScrambleBlocks = false;
    bool InsideAddFile = false;
};
TRecorder Rec;

void KEST_PACKCALL OnVolumeName(int32_t volume, char* buffer) {
    Rec.VolumeAsks.push_back(volume);
    std::snprintf(buffer, 261, "%s.%d", Rec.VolumeBase.c_str(), int(volume));
}

void KEST_PACKCALL OnDiskSpace(const char* path, int32_t* answer);

int32_t KEST_PACKCALL OnWrite(const char* fileName, int32_t reserved, int32_t fileSize,
                              int32_t blockSize, int32_t done, void* block) {
    char* bytes = static_cast<char*>(block);
    // The packer encrypts in place; a stand-in that changes every byte shows that the
    // library writes the block as the host left it.
    if (Rec.ScrambleBlocks)
        for (int32_t i = 0; i < blockSize; ++i) bytes[i] = char(bytes[i] ^ (0x5A + i));
    Rec.Reports.push_back({fileName, fileName, reserved, fileSize, blockSize, done,
                           std::string(bytes, size_t(blockSize)), Rec.InsideAddFile});
    return Rec.Reports.size() == Rec.StopAtReport ? 0 : -1;
}

std::string Unscramble(const PackReader::TFile&, size_t, const std::string& block) {
    std::string s = block;
    for (size_t i = 0; i < s.size(); ++i) s[i] = char(s[i] ^ (0x5A + int(i)));
    return s;
}

std::list<std::string> EnvStore;
void SetEnv(const std::string& name, const std::string& value) {
    // putenv keeps the pointer; an empty value counts as unset for the library.
    EnvStore.push_back(name + "=" + value);
    putenv(EnvStore.back().data());
}

void KEST_PACKCALL OnDiskSpace(const char* path, int32_t* answer) {
    Rec.SpaceAsks.push_back(path);
    if (Rec.FreeBytesOnAsk != nullptr) SetEnv("KEST_TEST_FREE_BYTES", Rec.FreeBytesOnAsk);
    *answer = Rec.SpaceAnswer;
}

struct TLib {
    void* Handle = nullptr;
    TPackCreate Create = nullptr;
    TPackAddFile AddFile = nullptr;
    TPackClose Close = nullptr;
    TPackSetPlain SetPlain = nullptr;
};

TLib LoadLib(const std::string& path) {
    TLib l;
    l.Handle = Plat::LoadLibrary(path);
    if (l.Handle == nullptr) return l;
    l.Create = reinterpret_cast<TPackCreate>(Plat::GetProcAddress(l.Handle, "Create"));
    l.AddFile = reinterpret_cast<TPackAddFile>(Plat::GetProcAddress(l.Handle, "AddFile"));
    l.Close = reinterpret_cast<TPackClose>(Plat::GetProcAddress(l.Handle, "Close"));
    l.SetPlain = reinterpret_cast<TPackSetPlain>(Plat::GetProcAddress(l.Handle, "SetPlain"));
    return l;
}

// The tests' own build of the library, whose free space KEST_TEST_FREE_BYTES sets.
const TLib& Lib() {
    static TLib lib = LoadLib(TestUtil::Env("KEST_PACK_TEST_DLL"));
    return lib;
}

// The library as shipped, beside the programs.
const TLib& ShippedLib() {
    static TLib lib = LoadLib(TestUtil::Env("KEST_BIN_DIR") + TestUtil::Sep() + "Pack.dll");
    return lib;
}

/// Bytes that compress somewhat, like real files: words from a small vocabulary with
/// random runs mixed in.
std::string MixedBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* words[] = {"alpha ", "setup ", "package ", "volume ", "\r\n", "data "};
    std::string s;
    s.reserve(size);
    while (s.size() < size) {
        if (rng() % 4 == 0)
            for (int i = 0; i < 16; ++i) s.push_back(char(rng()));
        else
            s += words[rng() % 6];
    }
    s.resize(size);
    return s;
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) c = char(rng());
    return s;
}

/// Long repeats compress fast, which keeps big-file cases quick.
std::string Repeated(const std::string& part, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += part;
    return s;
}

struct TInput {
    std::string Stored;
    std::string Bytes;
};

class PackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(Lib().Handle, nullptr) << "Pack.dll did not load";
        ASSERT_TRUE(Lib().Create && Lib().AddFile && Lib().Close && Lib().SetPlain);
        Rec = TRecorder();
        Rec.VolumeBase = Tmp / "Setup";
        SetEnv("KEST_VOLUME_SIZE", "");
        SetEnv("KEST_TEST_FREE_BYTES", "");
    }
    void TearDown() override {
        SetEnv("KEST_VOLUME_SIZE", "");
        SetEnv("KEST_TEST_FREE_BYTES", "");
    }

    /// The input's file: its stored name with "\\" as "_", all in one folder.
    std::string Source(const TInput& in) const {
        std::string name = "src_" + in.Stored;
        std::replace(name.begin(), name.end(), '\\', '_');
        return Tmp / name;
    }

    void Create(int32_t level) { Lib().Create(OnVolumeName, OnDiskSpace, OnWrite, level); }
    int32_t Add(const std::string& source, const std::string& stored) {
        Rec.InsideAddFile = true;
        const int32_t r = Lib().AddFile(source.c_str(), stored.c_str());
        Rec.InsideAddFile = false;
        return r;
    }

    /// Packs the inputs at a level, as plain files when plain is set; every call must
    /// succeed.
    void PackAll(const std::vector<TInput>& inputs, int32_t level, bool plain = false) {
        for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
        Create(level);
        if (plain) {
            ASSERT_NE(Lib().SetPlain(1), 0);
        }
        for (const TInput& in : inputs) ASSERT_NE(Add(Source(in), in.Stored), 0) << in.Stored;
        ASSERT_NE(Lib().Close(), 0);
    }

    std::string VolumeName(uint32_t n) const {
        std::string name = Rec.VolumeBase + "." + std::to_string(n);
        for (char& c : name)
            if (c == '\\' || c == '/') c = TestUtil::Sep();
        return name;
    }
    PackReader::TPackage ReadBack(const PackReader::TBlockFilter& filter = nullptr) const {
        return PackReader::Read([this](uint32_t n) { return VolumeName(n); }, filter);
    }
    void ExpectUnreadable() const {
        EXPECT_THROW(ReadBack(), std::runtime_error) << "a broken package reads as complete";
    }

    TestUtil::TempDir Tmp;
};

// Every callback argument for files around the 1 MiB report step, stored and compressed.
TEST_F(PackTest, ReportsEveryFileWithItsArgumentsAndRoundTrips) {
    const size_t MiB = 1 << 20;
    const std::vector<TInput> inputs = {
        {"empty", ""},
        {"one", "x"},
        {"exact", MixedBytes(MiB, 1)},
        {"over", MixedBytes(MiB + 1, 2)},
        {"three", MixedBytes(2 * MiB + 5, 3)},
    };
    for (int level : {0, 1, 7}) {
        SCOPED_TRACE("level " + std::to_string(level));
        SetUp();
        std::vector<std::string> sources;
        for (const TInput& in : inputs) sources.push_back(Source(in));
        for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
        Create(level);
        std::vector<size_t> firstReport;
        for (size_t i = 0; i < inputs.size(); ++i) {
            firstReport.push_back(Rec.Reports.size());
            Rec.InsideAddFile = true;
            ASSERT_NE(Lib().AddFile(sources[i].c_str(), inputs[i].Stored.c_str()), 0);
            Rec.InsideAddFile = false;
        }
        firstReport.push_back(Rec.Reports.size());
        ASSERT_NE(Lib().Close(), 0);
        EXPECT_EQ(Rec.VolumeAsks, std::vector<int32_t>{1});
        EXPECT_TRUE(Rec.SpaceAsks.empty());

        const PackReader::TPackage pkg = ReadBack();
        ASSERT_EQ(pkg.Files.size(), inputs.size());
        EXPECT_EQ(pkg.Level, level);
        for (size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE(inputs[i].Stored);
            const int32_t size = int32_t(inputs[i].Bytes.size());
            const size_t from = firstReport[i], to = firstReport[i + 1];
            ASSERT_GE(to - from, 1u) << "every file gets a report";
            int32_t lastDone = 0;
            for (size_t r = from; r < to; ++r) {
                const TReport& rep = Rec.Reports[r];
                EXPECT_EQ(rep.NamePtr, sources[i].c_str()) << "the caller's own string";
                EXPECT_EQ(rep.Reserved, 0);
                EXPECT_EQ(rep.FileSize, size);
                EXPECT_TRUE(rep.InsideAddFile);
                EXPECT_GE(rep.Done, lastDone);
                if (r + 1 < to) {
                    EXPECT_GT(rep.BlockSize, 0) << "only the last block may be empty";
                }
                lastDone = rep.Done;
            }
            EXPECT_EQ(lastDone, size) << "done reaches the size";
            // Reports come about every MiB of input, not per small chunk.
            EXPECT_LE(to - from, size_t(size) / MiB + 1);
            if (level == 0) {
                EXPECT_EQ(to - from, std::max<size_t>(1, (size + MiB - 1) / MiB));
            }

            const PackReader::TFile& f = pkg.Files[i];
            EXPECT_EQ(f.Name, inputs[i].Stored);
            EXPECT_EQ(f.Codec, level == 0 ? 0 : 1);
            EXPECT_EQ(f.Data, inputs[i].Bytes);
            ASSERT_EQ(f.Blocks.size(), to - from) << "one record per report";
            for (size_t b = 0; b < f.Blocks.size(); ++b)
                EXPECT_EQ(f.Blocks[b], Rec.Reports[from + b].Block);
        }
        EXPECT_EQ(Rec.Reports[firstReport[0]].BlockSize, 0) << "the empty file's one report";
    }
}

// The host may rewrite blocks in place; the package keeps them as rewritten, block by block.
TEST_F(PackTest, StoresBlocksAsTheHostLeftThem) {
    Rec.ScrambleBlocks = true;
    const std::vector<TInput> inputs = {{"a", MixedBytes(2500000, 4)}, {"b", "tiny"}, {"c", ""}};
    PackAll(inputs, 5);
    const PackReader::TPackage pkg = ReadBack(Unscramble);
    ASSERT_EQ(pkg.Files.size(), 3u);
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(pkg.Files[i].Data, inputs[i].Bytes);
    EXPECT_THROW(ReadBack(), std::runtime_error) << "unscrambled blocks must not decode";
}

// A big file goes through the two-thread encoder as its own stream; the solid stream of
// the small files around it goes on unbroken; two runs give the same bytes.
TEST_F(PackTest, BigFileGetsItsOwnStreamAndOutputIsDeterministic) {
    const std::vector<TInput> inputs = {{"before", MixedBytes(300000, 5)},
                                        {"big", Repeated(MixedBytes(1 << 20, 6), 16)},
                                        {"after", MixedBytes(300000, 5)}};
    PackAll(inputs, 1);
    const std::string first = TestUtil::ReadFile(VolumeName(1));
    const PackReader::TPackage pkg = ReadBack();
    ASSERT_EQ(pkg.Files.size(), 3u);
    EXPECT_EQ(pkg.Files[0].Codec, 1);
    EXPECT_EQ(pkg.Files[1].Codec, 2);
    EXPECT_EQ(pkg.Files[2].Codec, 1);
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(pkg.Files[i].Data, inputs[i].Bytes);
    // The dictionary spans files: the repeat of the first file costs next to nothing.
    size_t afterBytes = 0;
    for (const std::string& b : pkg.Files[2].Blocks) afterBytes += b.size();
    EXPECT_LT(afterBytes, 2000u);
    const std::vector<std::string>& big = pkg.Files[1].Blocks;
    ASSERT_GE(big.size(), 2u) << "a 16 MiB file reports as it goes";
    // The threads' output is cut into whole report steps of 1 MiB, whenever it comes out;
    // the last report keeps at least a byte of its own.
    for (size_t i = 0; i + 1 < big.size(); ++i) EXPECT_EQ(big[i].size(), 1u << 20) << i;
    EXPECT_GE(big.back().size(), 1u);
    EXPECT_LE(big.back().size(), 1u << 20);

    Rec = TRecorder();
    Rec.VolumeBase = Tmp / "Setup";
    PackAll(inputs, 1);
    EXPECT_TRUE(TestUtil::ReadFile(VolumeName(1)) == first) << "second run differs";
}

TEST_F(PackTest, LevelsOutOfRangeMapToDefaultAndTop) {
    const struct {
        int32_t Asked, InEffect;
    } cases[] = {{-5, 7}, {-1, 7}, {0, 0}, {3, 3}, {9, 9}, {10, 9}, {1000, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Asked);
        SetUp();
        PackAll({{"f", MixedBytes(5000, 7)}}, c.Asked);
        const PackReader::TPackage pkg = ReadBack();
        EXPECT_EQ(pkg.Level, c.InEffect);
        EXPECT_EQ(pkg.DictSize == 0, c.InEffect == 0);
        EXPECT_EQ(pkg.Files.at(0).Data, MixedBytes(5000, 7));
    }
}

TEST_F(PackTest, EmptyPackageIsComplete) {
    Create(7);
    ASSERT_NE(Lib().Close(), 0);
    EXPECT_TRUE(ReadBack().Files.empty());
}

// A small maximum splits the package; every volume but the last has exactly that size.
TEST_F(PackTest, SplitsVolumesAtTheConfiguredSize) {
    const struct {
        std::string Setting;
        uint64_t Size;
    } cases[] = {{"8K", 8192}, {"5000", 5000}, {"100", 4096}};
    const std::vector<TInput> inputs = {
        {"a", RandomBytes(20000, 8)}, {"b", ""}, {"c", RandomBytes(9000, 9)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Setting);
        SetUp();
        SetEnv("KEST_VOLUME_SIZE", c.Setting);
        PackAll(inputs, 0);
        const PackReader::TPackage pkg = ReadBack();
        ASSERT_EQ(pkg.Files.size(), 3u);
        for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(pkg.Files[i].Data, inputs[i].Bytes);
        ASSERT_GE(pkg.VolumeCount, 3u);
        std::vector<int32_t> expected;
        for (uint32_t n = 1; n <= pkg.VolumeCount; ++n) expected.push_back(int32_t(n));
        EXPECT_EQ(Rec.VolumeAsks, expected) << "each volume asked for once, in order";
        for (uint32_t n = 1; n < pkg.VolumeCount; ++n)
            EXPECT_EQ(std::filesystem::file_size(VolumeName(n)), c.Size);
        EXPECT_FALSE(TestUtil::Exists(VolumeName(pkg.VolumeCount + 1)));
    }
}

// A reader notices a missing volume and a volume of another package in its place.
TEST_F(PackTest, VolumesOfAnotherPackageDoNotFit) {
    SetEnv("KEST_VOLUME_SIZE", "4K");
    PackAll({{"a", RandomBytes(12000, 10)}}, 0);
    const std::string second = TestUtil::ReadFile(VolumeName(2));
    Rec.VolumeBase = Tmp / "Other";
    PackAll({{"a", RandomBytes(12000, 11)}}, 0);
    TestUtil::WriteFile(VolumeName(2), second);
    EXPECT_THROW(ReadBack(), std::runtime_error);
    std::filesystem::remove(VolumeName(2));
    EXPECT_THROW(ReadBack(), std::runtime_error);
}

TEST_F(PackTest, AsksForDiskSpaceWithTheVolumeDirectory) {
    const std::vector<TInput> inputs = {{"a", MixedBytes(100000, 12)}};
    for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
    const std::string dir = std::filesystem::canonical(Tmp.Path()).string();

    // Answer 0 after space was made: the library checks again and goes on.
    SetEnv("KEST_TEST_FREE_BYTES", "1000");
    Rec.SpaceAnswer = 0;
    Rec.FreeBytesOnAsk = "1G";
    Create(7);
    EXPECT_NE(Add(Source(inputs[0]), "a"), 0);
    EXPECT_NE(Lib().Close(), 0);
    ASSERT_FALSE(Rec.SpaceAsks.empty());
    EXPECT_EQ(std::filesystem::canonical(Rec.SpaceAsks[0]).string(), dir);
    EXPECT_EQ(ReadBack().Files.at(0).Data, inputs[0].Bytes);

    // Answer -1: the call fails, and so does everything after it.
    SetUp();
    SetEnv("KEST_TEST_FREE_BYTES", "0");
    Rec.SpaceAnswer = -1;
    Create(7);
    EXPECT_EQ(Add(Source(inputs[0]), "a"), 0);
    EXPECT_EQ(Rec.SpaceAsks.size(), 1u);
    EXPECT_EQ(Add(Source(inputs[0]), "b"), 0);
    EXPECT_EQ(Lib().Close(), 0);
    ExpectUnreadable();
}

// The shipped library has no test switch: it asks the system, whatever the environment says.
TEST_F(PackTest, ShippedLibraryIgnoresTheTestFreeSpace) {
    const TLib& shipped = ShippedLib();
    ASSERT_NE(shipped.Handle, nullptr) << "the shipped Pack.dll did not load";
    ASSERT_NE(shipped.Handle, Lib().Handle);
    const TInput in = {"a", MixedBytes(100000, 15)};
    TestUtil::WriteFile(Source(in), in.Bytes);
    for (const TLib* lib : {&shipped, &Lib()}) {
        SetUp();
        SetEnv("KEST_TEST_FREE_BYTES", "0");
        Rec.SpaceAnswer = -1;
        lib->Create(OnVolumeName, OnDiskSpace, OnWrite, 7);
        const bool added = lib->AddFile(Source(in).c_str(), "a") != 0;
        const bool closed = lib->Close() != 0;
        if (lib == &shipped) {
            EXPECT_TRUE(added && closed);
            EXPECT_TRUE(Rec.SpaceAsks.empty());
            EXPECT_EQ(ReadBack().Files.at(0).Data, in.Bytes);
        } else {
            EXPECT_FALSE(added && closed) << "the test build takes the variable";
            EXPECT_EQ(Rec.SpaceAsks.size(), 1u);
        }
    }
}

// Between the host's limit (100 KiB) and a write chunk the library used to ask again and
// again while the host kept saying "go on". Now it asks only when a small piece does not
// fit, and a "go on" that made no room is not asked again: the write itself then tells.
TEST_F(PackTest, GoOnWithoutMoreSpaceIsNotAskedForever) {
    const std::vector<TInput> inputs = {{"a", RandomBytes(300000, 14)}};
    for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
    const struct {
        const char* Free;
        size_t Asks;
    } cases[] = {{"150K", 0}, {"1000", 1}};
    for (const auto& c : cases) {
        SetUp();
        SetEnv("KEST_TEST_FREE_BYTES", c.Free);
        Rec.SpaceAnswer = 0;
        Create(0);
        auto added = std::async(std::launch::async, [&] { return Add(Source(inputs[0]), "a"); });
        if (added.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            std::fprintf(stderr, "AddFile still asks for disk space after a minute\n");
            std::_Exit(1);
        }
        EXPECT_NE(added.get(), 0) << c.Free;
        EXPECT_NE(Lib().Close(), 0) << c.Free;
        EXPECT_EQ(Rec.SpaceAsks.size(), c.Asks) << c.Free;
        EXPECT_EQ(ReadBack().Files.at(0).Data, inputs[0].Bytes) << c.Free;
    }
}

// Failures while writing make AddFile and Close return 0 and never leave a package that
// reads as complete.
TEST_F(PackTest, FailuresWhileWritingBreakThePackage) {
    const std::vector<TInput> inputs = {{"a", MixedBytes(50000, 13)}};
    for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);

    SCOPED_TRACE("volume in a directory that does not exist");
    Rec.VolumeBase = Tmp / "missing" + TestUtil::Sep() + "Setup";
    Create(7);
    EXPECT_EQ(Add(Source(inputs[0]), "a"), 0);
    EXPECT_EQ(Lib().Close(), 0);

    SCOPED_TRACE("host stops at the first block");
    SetUp();
    Rec.StopAtReport = 1;
    Create(7);
    EXPECT_EQ(Add(Source(inputs[0]), "a"), 0);
    EXPECT_EQ(Lib().Close(), 0);
    ExpectUnreadable();

    SCOPED_TRACE("host stops at a plain file's first report, the group's encoder running");
    SetUp();
    Rec.StopAtReport = 1;
    Create(7);
    ASSERT_NE(Lib().SetPlain(1), 0);
    EXPECT_EQ(Add(Source(inputs[0]), "a"), 0);
    EXPECT_EQ(Add(Source(inputs[0]), "b"), 0) << "a broken package takes no more files";
    EXPECT_EQ(Lib().Close(), 0);
    ExpectUnreadable();

    SCOPED_TRACE("a fresh package after a broken one works");
    SetUp();
    PackAll(inputs, 7);
    EXPECT_EQ(ReadBack().Files.at(0).Data, inputs[0].Bytes);
}

TEST_F(PackTest, WriteErrorOnAFullDisk) {
    // Volumes are made fresh (never written through a link), so a full disk needs a real
    // small file system: a tmpfs of 1 MiB where this user may mount one.
    const std::string small = Tmp / "small";
    std::filesystem::create_directories(small);
    if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + small + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "a small file system cannot be mounted here";
    TestUtil::WriteFile(Tmp / "src", RandomBytes(3 << 20, 14));
    Rec.VolumeBase = small + TestUtil::Sep() + "full";
    Create(0);
    const int32_t added = Add(Tmp / "src", "src");
    const int32_t closed = Lib().Close();
    std::system(("umount '" + small + "'").c_str());
    EXPECT_EQ(added, 0);
    EXPECT_EQ(closed, 0);
}

// Files that cannot be added are refused before anything is written; the package goes on.
TEST_F(PackTest, RefusedFilesLeaveThePackageUsable) {
    TestUtil::WriteFile(Tmp / "good", "good bytes");
    const std::string huge = Tmp / "huge";
    {
        std::FILE* f = std::fopen(huge.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        std::filesystem::resize_file(huge, uint64_t(1) << 31);  // sparse: 2 GiB
    }
    Create(7);
    EXPECT_EQ(Add(Tmp / "absent", "absent"), 0);
    std::filesystem::create_directory(Tmp / "dir");
    EXPECT_EQ(Add(Tmp / "dir", "dir"), 0);
    EXPECT_EQ(Add(huge, "huge"), 0);
    EXPECT_EQ(Add(Tmp / "good", std::string(70000, 'n')), 0) << "name beyond 16 bits";
    EXPECT_TRUE(Rec.Reports.empty());
    EXPECT_NE(Add(Tmp / "good", "Data\\good"), 0);
    EXPECT_NE(Lib().Close(), 0);
    std::filesystem::remove(huge);
    const PackReader::TPackage pkg = ReadBack();
    ASSERT_EQ(pkg.Files.size(), 1u);
    EXPECT_EQ(pkg.Files[0].Name, "Data\\good");
    EXPECT_EQ(pkg.Files[0].Data, "good bytes");
}

// The host composes paths with "\" on every platform.
TEST_F(PackTest, AcceptsBackslashSeparatedNames) {
    TestUtil::WriteFile(Tmp / "sub" + TestUtil::Sep() + "f.txt", "in a subdirectory");
    std::filesystem::create_directory(Tmp / "out");
    Rec.VolumeBase = Tmp / "out\\Setup";
    Create(7);
    EXPECT_NE(Add(Tmp / "sub\\f.txt", "Data\\sub\\f.txt"), 0);
    EXPECT_NE(Lib().Close(), 0);
    const PackReader::TPackage pkg = ReadBack();
    EXPECT_EQ(pkg.Files.at(0).Data, "in a subdirectory");
}

// Each stored name is kept as the part it shares with the name before plus the rest: names
// that repeat, extend, shorten or share nothing with the one before, up to the longest
// allowed, all come back whole.
TEST_F(PackTest, StoredNamesComeBackWhateverTheyShare) {
    const std::vector<std::string> names = {"Data\\Sub\\A.txt",
                                            "Data\\Sub\\B.txt",
                                            "Data\\Sub\\B.txt.bak",
                                            "Data\\Sub",
                                            "Presetup\\Kest.ini",
                                            "Data\\Sub\\A.txt",
                                            std::string(65535, 'n'),
                                            std::string(65535, 'n'),
                                            std::string(65534, 'n') + "m",
                                            "x"};
    std::vector<TInput> inputs;
    for (size_t i = 0; i < names.size(); ++i)
        inputs.push_back({"f" + std::to_string(i), "line " + std::to_string(i) + "\n"});
    for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
    for (int level : {0, 7}) {
        SCOPED_TRACE(level);
        Create(level);
        for (size_t i = 0; i < names.size(); ++i) ASSERT_NE(Add(Source(inputs[i]), names[i]), 0);
        ASSERT_NE(Lib().Close(), 0);
        const PackReader::TPackage pkg = ReadBack();
        ASSERT_EQ(pkg.Files.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(pkg.Files[i].Name, names[i]);
            EXPECT_EQ(pkg.Files[i].Data, inputs[i].Bytes);
        }
    }
}

// x86 and x86-64 images go through the x86 branch filter, chosen by their contents: small
// ones in the solid stream (codec 3) between unfiltered files, big ones in their own .xz
// stream with the filter in its chain; all decode with liblzma's own x86 decoder.
TEST_F(PackTest, X86ImagesGoThroughTheBranchFilter) {
    // A PE header, then code-like bytes: calls (E8) to a few targets, amid other bytes.
    const auto image = [](uint16_t machine, size_t size, uint32_t seed) {
        std::string s = MixedBytes(size, seed);
        s.replace(0, 0x40, std::string(0x40, '\0'));
        s[0] = 'M';
        s[1] = 'Z';
        s[0x3C] = char(0x40);
        s.replace(0x40, 6, std::string("PE\0\0", 4) + char(machine & 0xFF) + char(machine >> 8));
        for (size_t at = 0x100; at + 5 < s.size(); at += 37) {
            const uint32_t target = uint32_t(at % 4096) * 16 - uint32_t(at);
            s[at] = char(0xE8);
            for (int i = 0; i < 4; ++i) s[at + 1 + i] = char(target >> (8 * i));
        }
        return s;
    };
    const std::string code = image(0x014C, 300000, 7);
    std::vector<TInput> inputs = {{"App.exe", code},
                                  {"App.txt", code.substr(2)},
                                  {"App64.dll", image(0x8664, (1 << 20) + 3, 8)}};
    for (int level : {7, 1}) {
        // The big file only once: its stream is the same codec at every level.
        if (level == 1) inputs.push_back({"Big.dll", image(0x014C, 16 << 20, 9)});
        // Plain files filter the same way inside the group stream's entries.
        for (bool plain : {false, true}) {
            SCOPED_TRACE(std::to_string(level) + (plain ? " plain" : ""));
            SetUp();
            PackAll(inputs, level, plain);
            const PackReader::TPackage pkg = ReadBack();
            ASSERT_EQ(pkg.Files.size(), inputs.size());
            const int codecs[] = {3, 1, 3, 2};
            for (size_t i = 0; i < inputs.size(); ++i) {
                EXPECT_EQ(pkg.Files[i].Codec, codecs[i]) << inputs[i].Stored;
                EXPECT_EQ(pkg.Files[i].Grouped, plain && codecs[i] != 2) << inputs[i].Stored;
                EXPECT_TRUE(pkg.Files[i].Data == inputs[i].Bytes) << inputs[i].Stored;
            }
        }
    }
    // The big file's .xz block header names the x86 filter before LZMA2.
    const std::string xz = TestUtil::ReadFile(VolumeName(1));
    const size_t at =
        xz.find(std::string("\xFD"
                            "7zXZ\0",
                            6));
    ASSERT_NE(at, std::string::npos);
    const auto* header = reinterpret_cast<const uint8_t*>(xz.data() + at + 12);
    lzma_filter filters[LZMA_FILTERS_MAX + 1];
    lzma_block block{};
    block.check = LZMA_CHECK_CRC64;
    block.filters = filters;
    block.header_size = lzma_block_header_size_decode(header[0]);
    ASSERT_EQ(lzma_block_header_decode(&block, nullptr, header), LZMA_OK);
    EXPECT_EQ(filters[0].id, LZMA_FILTER_X86);
    EXPECT_EQ(filters[1].id, LZMA_FILTER_LZMA2);
    for (size_t i = 0; filters[i].id != LZMA_VLI_UNKNOWN; ++i) free(filters[i].options);
}

// Plain files go into the group stream: names, sizes and checks compressed with the data,
// no flush per file. Their reports still come inside their calls with every argument, and
// every block reported is written as reported; the rest of the stream (the flush at a
// piece's end) is written without a report.
TEST_F(PackTest, PlainFilesShareTheGroupStream) {
    const size_t MiB = 1 << 20;
    const std::vector<TInput> inputs = {
        {"Data\\empty", ""},
        {"Data\\one", "x"},
        {"Data\\Sub\\exact", MixedBytes(MiB, 1)},
        {"Data\\Sub\\over", MixedBytes(MiB + 1, 2)},
        {"Data\\Sub\\three", MixedBytes(2 * MiB + 5, 3)},
        {"Data\\Sub\\tiny", "tiny"},
        {"Data\\last", ""},
    };
    for (int level : {1, 7, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        SetUp();
        PackAll(inputs, level, true);
        const std::string first = TestUtil::ReadFile(VolumeName(1));
        const PackReader::TPackage pkg = ReadBack();
        ASSERT_EQ(pkg.Files.size(), inputs.size());
        EXPECT_EQ(pkg.Pieces, 1u) << "one piece when nothing breaks the group";
        for (size_t i = 0; i < inputs.size(); ++i) {
            EXPECT_TRUE(pkg.Files[i].Grouped) << inputs[i].Stored;
            EXPECT_EQ(pkg.Files[i].Name, inputs[i].Stored);
            EXPECT_TRUE(pkg.Files[i].Data == inputs[i].Bytes) << inputs[i].Stored;
        }
        // Per file: reports inside its call, the size on each, done reaching it.
        size_t r = 0;
        std::vector<std::string> reported;
        for (const TInput& in : inputs) {
            SCOPED_TRACE(in.Stored);
            ASSERT_LT(r, Rec.Reports.size());
            int32_t done = -1;
            for (; r < Rec.Reports.size() && Rec.Reports[r].Name == Source(in); ++r) {
                const TReport& rep = Rec.Reports[r];
                EXPECT_TRUE(rep.InsideAddFile);
                EXPECT_EQ(rep.FileSize, int32_t(in.Bytes.size()));
                EXPECT_GE(rep.Done, done);
                done = rep.Done;
                if (rep.BlockSize > 0) reported.push_back(rep.Block);
            }
            EXPECT_EQ(done, int32_t(in.Bytes.size())) << "done reaches the size";
        }
        EXPECT_EQ(r, Rec.Reports.size());
        // The reported blocks come first in the piece, in order; the piece's end follows.
        ASSERT_LE(reported.size(), pkg.PieceBlocks.size());
        for (size_t b = 0; b < reported.size(); ++b) EXPECT_EQ(reported[b], pkg.PieceBlocks[b]);
        // The encoder runs beside the host, so which call reports a block depends on timing;
        // blocks of one size keep the package's bytes from depending on it.
        ASSERT_GT(pkg.PieceBlocks.size(), 1u) << "the test needs more than one block";
        for (size_t b = 0; b + 1 < pkg.PieceBlocks.size(); ++b)
            EXPECT_EQ(pkg.PieceBlocks[b].size(), 65536u) << "block " << b;
        EXPECT_LE(pkg.PieceBlocks.back().size(), 65536u);

        SetUp();
        PackAll(inputs, level, true);
        EXPECT_TRUE(TestUtil::ReadFile(VolumeName(1)) == first) << "the same bytes every run";
    }
}

// Protection may start and end between files: the group piece is closed before a file that
// the host may rewrite, so that no byte of a plain file is reported in that file's call and
// every byte of that file is; plain files after it start a new piece.
TEST_F(PackTest, FilesTheHostRewritesKeepTheirBytesInTheirCalls) {
    const std::vector<TInput> inputs = {{"Presetup\\a", MixedBytes(300000, 11)},
                                        {"Presetup\\b", "small"},
                                        {"Data\\c", MixedBytes(300000, 12)},
                                        {"Data\\d", "tiny"},
                                        {"Data\\e", MixedBytes(300000, 11)}};
    for (const TInput& in : inputs) TestUtil::WriteFile(Source(in), in.Bytes);
    Create(7);
    size_t protectedFrom = 0, protectedTo = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const bool rewrite = i == 2 || i == 3;
        ASSERT_NE(Lib().SetPlain(rewrite ? 0 : 1), 0);
        Rec.ScrambleBlocks = rewrite;
        if (i == 2) protectedFrom = Rec.Reports.size();
        ASSERT_NE(Add(Source(inputs[i]), inputs[i].Stored), 0);
        if (i == 3) protectedTo = Rec.Reports.size();
    }
    Rec.ScrambleBlocks = false;
    ASSERT_NE(Lib().Close(), 0);

    const PackReader::TPackage pkg = ReadBack(Unscramble);
    ASSERT_EQ(pkg.Files.size(), inputs.size());
    EXPECT_EQ(pkg.Pieces, 2u);
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].Stored);
        EXPECT_EQ(pkg.Files[i].Grouped, i != 2 && i != 3);
        EXPECT_TRUE(pkg.Files[i].Data == inputs[i].Bytes);
    }
    // The rewritten files' reports are exactly their records' blocks.
    std::vector<std::string> rewritten;
    for (size_t r = protectedFrom; r < protectedTo; ++r) rewritten.push_back(Rec.Reports[r].Block);
    std::vector<std::string> stored = pkg.Files[2].Blocks;
    stored.insert(stored.end(), pkg.Files[3].Blocks.begin(), pkg.Files[3].Blocks.end());
    EXPECT_EQ(rewritten, stored);
}

// LZMA2 chunks of a stream that start from an empty dictionary (control 0x01, or 0xE0 and
// above).
size_t DictionaryResets(const std::string& stream) {
    size_t resets = 0, at = 0;
    while (at < stream.size()) {
        const uint8_t control = uint8_t(stream[at]);
        if (control == 0x00) break;
        if (control == 0x01 || control >= 0xE0) ++resets;
        if (control < 0x80) {
            if (control > 0x02 || at + 3 > stream.size()) ADD_FAILURE() << "bad chunk at " << at;
            if (control > 0x02 || at + 3 > stream.size()) return resets;
            at += 3 + ((size_t(uint8_t(stream[at + 1])) << 8 | uint8_t(stream[at + 2])) + 1);
        } else {
            if (at + 5 > stream.size()) ADD_FAILURE() << "short chunk header at " << at;
            if (at + 5 > stream.size()) return resets;
            const size_t packed = (size_t(uint8_t(stream[at + 3])) << 8 | uint8_t(stream[at + 4])) + 1;
            at += 5 + (control >= 0xC0 ? 1 : 0) + packed;
        }
    }
    EXPECT_EQ(at, stream.size()) << "the stream's chunks fill its blocks exactly";
    return resets;
}

// At the fast level the group stream is cut into segments of 8 MiB (eight dictionaries),
// two encoded at a time: each segment starts from an empty dictionary, the segments follow
// each other in one stream, and a file may span two of them.
TEST_F(PackTest, FastLevelEncodesSegmentsSideBySide) {
    const size_t MiB = 1 << 20;
    std::vector<TInput> inputs;
    for (uint32_t i = 0; i < 5; ++i)
        inputs.push_back({"Data\\big" + std::to_string(i), MixedBytes(4 * MiB + 1000 * i, 20 + i)});
    inputs.push_back({"Data\\small", "the last one"});
    PackAll(inputs, 1, true);
    const std::string first = TestUtil::ReadFile(VolumeName(1));
    const PackReader::TPackage pkg = ReadBack();
    ASSERT_EQ(pkg.Files.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i)
        EXPECT_TRUE(pkg.Files[i].Data == inputs[i].Bytes) << inputs[i].Stored;
    EXPECT_EQ(pkg.Pieces, 1u);
    std::string stream;
    for (const std::string& block : pkg.PieceBlocks) stream += block;
    // 20 MiB of entries: segments from 0, 8 and 16 MiB.
    EXPECT_EQ(DictionaryResets(stream), 3u);
    for (int run = 0; run < 2; ++run) {
        SetUp();
        PackAll(inputs, 1, true);
        EXPECT_TRUE(TestUtil::ReadFile(VolumeName(1)) == first) << "the same bytes every run";
    }
    // At the default level the match finder takes the second core: one sequence.
    SetUp();
    PackAll(inputs, 7, true);
    stream.clear();
    for (const std::string& block : ReadBack().PieceBlocks) stream += block;
    EXPECT_EQ(DictionaryResets(stream), 1u);
}

// What the group stream is for: many small files cost a few bytes each, where a record per
// file with its own flush costs tens.
TEST_F(PackTest, ManySmallPlainFilesCostLittleEach) {
    std::vector<TInput> inputs;
    for (int i = 0; i < 2000; ++i)
        inputs.push_back({"Data\\dir" + std::to_string(i / 100) + "\\file" + std::to_string(i) +
                              ".txt",
                          "line " + std::to_string(i) + ": " + MixedBytes(100, uint32_t(i % 7))});
    PackAll(inputs, 7, false);
    const size_t records = TestUtil::ReadFile(VolumeName(1)).size();
    SetUp();
    PackAll(inputs, 7, true);
    const size_t grouped = TestUtil::ReadFile(VolumeName(1)).size();
    const PackReader::TPackage pkg = ReadBack();
    ASSERT_EQ(pkg.Files.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_TRUE(pkg.Files[i].Data == inputs[i].Bytes);
    EXPECT_LT(grouped * 10, records * 3) << grouped << " against " << records;
    EXPECT_LT(grouped, inputs.size() * 12) << "bytes per file";
}

}  // namespace
