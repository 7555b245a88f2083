// Damaged, incomplete and foreign packages: each is reported with a clear message and exit
// code 2, and extraction never leaves a wrong file under a stored name.
#include <gtest/gtest.h>

#include <filesystem>

#include "KestxNative.h"
#include "KestxTestKit.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

using namespace KestxTestKit;

constexpr size_t StubSize = 3000;  // BuildPackage's stub: volume 1 starts here

class KestxDamage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Tmp = new TestUtil::TempDir;
        std::vector<TTreeFile> files = {{"Presetup\\Lang\\ENU.lng", MakeData(5000, 1)}};
        for (int i = 0; i < 6; ++i)
            files.push_back({"Data\\f" + std::to_string(i) + ".bin", MakeData(60000, 10 + i)});
        TBuildOptions options;
        options.Password = "pw";
        options.VolumeSize = "64K";
        Pristine = new TBuilt(BuildPackage(Tmp->Path() + "pristine", files, options));
        files.back().Bytes[0] ^= 1;
        Other = new TBuilt(BuildPackage(Tmp->Path() + "other", files, options));
    }
    static void TearDownTestSuite() {
        delete Other;
        delete Pristine;
        delete Tmp;
    }

    // A fresh copy of the pristine package to damage.
    void SetUp() override {
        Dir = Work.Path() + "pkg";
        fs::remove_all(NativePath(Dir));
        fs::remove_all(NativePath(Work.Path() + "out"));
        fs::copy(NativePath(Tmp->Path() + "pristine"), NativePath(Dir));
        Exe = Dir + Sep + "Setup.exe";
    }
    std::string Volume(int n) const { return Dir + Sep + "Setup." + std::to_string(n); }
    void FlipByte(const std::string& file, size_t offset) const {
        std::string bytes = ReadBytes(file);
        ASSERT_LT(offset, bytes.size());
        bytes[offset] ^= 0x20;
        WriteBytes(file, bytes);
    }
    TRunResult Verify() const { return RunKestx({"verify", Exe, "--password", "pw"}); }

    // Extraction fails, and every file it left has exactly its stored contents.
    void ExpectFailedExtractLeavesNoWrongFile() {
        const std::string out = Work.Path() + "out";
        const TRunResult r = RunKestx({"extract", Exe, out, "--password", "pw"});
        EXPECT_EQ(r.Code, 2);
        if (!fs::exists(NativePath(out))) return;
        for (const auto& f : ReadTree(out)) {
            bool found = false;
            for (const auto& want : Pristine->Files)
                if (want.Stored == f.Stored) found = want.Bytes == f.Bytes;
            EXPECT_TRUE(found) << f.Stored;
        }
    }

    static TestUtil::TempDir* Tmp;
    static TBuilt* Pristine;
    static TBuilt* Other;
    const char Sep = TestUtil::Sep();
    TestUtil::TempDir Work;
    std::string Dir, Exe;
};

TestUtil::TempDir* KestxDamage::Tmp = nullptr;
TBuilt* KestxDamage::Pristine = nullptr;
TBuilt* KestxDamage::Other = nullptr;

TEST_F(KestxDamage, PristinePackageVerifies) {
    ASSERT_GT(Pristine->Volumes, 4u);
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 0) << r.Error;
}

TEST_F(KestxDamage, FlippedByteIsReportedWherever) {
    struct TCase {
        const char* Where;
        int Volume;  // 1: inside the executable
        size_t Offset;
    };
    const TCase cases[] = {
        {"volume 1, early data", 1, StubSize + 32 + 3000},
        {"volume 1, late data", 1, StubSize + 32 + 40000},
        {"volume 1, header", 1, StubSize + 20},
        {"volume 3, data", 3, 32 + 5000},
        {"volume 2, header link", 2, 26},
        {"volume 2, trailer", 2, 65536 - 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Where);
        SetUp();
        FlipByte(c.Volume == 1 ? Exe : Volume(c.Volume), c.Offset);
        const TRunResult verify = Verify();
        EXPECT_EQ(verify.Code, 2);
        EXPECT_FALSE(verify.Error.empty());
        // Even the listing, which decodes nothing, sees it through the package checks.
        EXPECT_EQ(RunKestx({"list", Exe}).Code, 2);
        ExpectFailedExtractLeavesNoWrongFile();
    }
}

TEST_F(KestxDamage, DictionaryAboveTheLimitIsRefusedBeforeAllocating) {
    // The start record's dictionary size (after the 32-byte volume header, type and level).
    const size_t field = StubSize + 32 + 2;
    for (uint32_t dict : {(64u << 20) + 1, 1536u << 20, 0xFFFFFFFFu}) {
        SCOPED_TRACE(dict);
        SetUp();
        std::string bytes = ReadBytes(Exe);
        for (int i = 0; i < 4; ++i) bytes[field + i] = static_cast<char>(dict >> (8 * i));
        WriteBytes(Exe, bytes);
        const TRunResult r = Verify();
        EXPECT_EQ(r.Code, 2);
        EXPECT_NE(r.Error.find("dictionary size " + std::to_string(dict)), std::string::npos)
            << r.Error;
    }
}

TEST_F(KestxDamage, TruncatedVolumeIsReported) {
    const std::string v2 = ReadBytes(Volume(2));
    WriteBytes(Volume(2), v2.substr(0, v2.size() - 100));
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("Setup.2' is truncated"), std::string::npos) << r.Error;
}

TEST_F(KestxDamage, TruncatedExecutableIsReported) {
    const std::string exe = ReadBytes(Exe);
    WriteBytes(Exe, exe.substr(0, exe.size() / 2));
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("is truncated"), std::string::npos) << r.Error;
}

TEST_F(KestxDamage, MissingVolumeIsReported) {
    fs::remove(NativePath(Volume(3)));
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("missing volume 3"), std::string::npos) << r.Error;
    EXPECT_NE(r.Error.find("Setup.3"), std::string::npos) << r.Error;
    ExpectFailedExtractLeavesNoWrongFile();
}

TEST_F(KestxDamage, MissingLastVolumeIsReported) {
    fs::remove(NativePath(Volume(static_cast<int>(Pristine->Volumes))));
    const TRunResult r = RunKestx({"list", Exe});
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("missing volume " + std::to_string(Pristine->Volumes)),
              std::string::npos)
        << r.Error;
}

TEST_F(KestxDamage, VolumeOfAnotherPackageIsRefused) {
    // The other package differs only in its last file, so its first volumes match ours.
    const int last = static_cast<int>(Pristine->Volumes);
    fs::remove(NativePath(Volume(last)));
    fs::copy_file(NativePath(Tmp->Path() + "other" + Sep + "Setup." + std::to_string(last)),
                  NativePath(Volume(last)));
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("belongs to another package"), std::string::npos) << r.Error;
}

TEST_F(KestxDamage, VolumesOutOfOrderAreRefused) {
    fs::rename(NativePath(Volume(2)), NativePath(Dir + Sep + "tmp"));
    fs::rename(NativePath(Volume(3)), NativePath(Volume(2)));
    fs::rename(NativePath(Dir + Sep + "tmp"), NativePath(Volume(3)));
    const TRunResult r = Verify();
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Error.find("is volume 3, expected volume 2"), std::string::npos) << r.Error;
}

TEST(KestxNotOurs, ForeignFilesAreRefused) {
    TestUtil::TempDir tmp;
    const std::string text = tmp.Path() + "readme.txt";
    WriteBytes(text, "Just some text, no package at all.\n");
    const std::string stub = tmp.Path() + "stub.exe";
    WriteBytes(stub, MakePeStub(false, 4096));
    for (const std::string& file : {text, stub}) {
        const TRunResult r = RunKestx({"list", file});
        EXPECT_EQ(r.Code, 2);
        EXPECT_NE(r.Error.find("not a KestBuild"), std::string::npos) << r.Error;
    }
    const TRunResult missing = RunKestx({"verify", tmp.Path() + "nothing.exe"});
    EXPECT_EQ(missing.Code, 2);
    EXPECT_NE(missing.Error.find("no such file"), std::string::npos) << missing.Error;
}

}  // namespace
