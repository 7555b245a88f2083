#include "Sfx.h"

#include <filesystem>

#include "BuildFixture.h"
#include "ConsoleScript.h"

namespace {

namespace fs = std::filesystem;
using TestUtil::Exists;
using TestUtil::ReadFile;
using TestUtil::WriteFile;

uint32_t Le32At(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

class SfxTest : public BuildFixture {
  protected:
    void SetUp() override {
        BuildFixture::SetUp();
        TBuildState& state = BuildState();
        state.ExeFile = Out.Path() + "Setup.exe";
        state.PackageFile = Out.Path() + "Setup.1";
        Console.Free = {1 << 30};
    }
    TestUtil::TempDir Out;
    TConsoleScript Console;
};

TEST_F(SfxTest, StubPackageAndTrailer) {
    std::string stub(40000, 'S'), package(1000000, 'P');
    stub[0] = 'M';
    package[999999] = 'E';
    WriteFile(Program / "Kest.sfx", stub);
    WriteFile(Out / "Setup.1", package);
    WriteFile(Out / "Setup.2", "second volume");
    BuildState().PresetupSize = 123456;
    ASSERT_TRUE(ConvertToSfx());
    ASSERT_TRUE(AppendTrailer());
    std::string exe = ReadFile(Out / "Setup.exe");
    ASSERT_EQ(exe.size(), 1040008u);
    EXPECT_EQ(exe.substr(0, 40000), stub);
    EXPECT_EQ(exe.substr(40000, 1000000), package);
    EXPECT_EQ(Le32At(exe, 1040000), 123456u);
    EXPECT_EQ(exe.substr(1040004), std::string("\x80\xDE\x0F\x00", 4));
    EXPECT_FALSE(Exists(Out / "Setup.1"));
    EXPECT_TRUE(Exists(Out / "Setup.2"));
    EXPECT_EQ(Console.Output, "Converting to SFX...\n");
    EXPECT_EQ(Console.FreeAsked, std::vector<std::string>{Out.Path()});
}

TEST_F(SfxTest, ReadOnlyStubStillTakesThePackage) {
    WriteFile(Program / "Kest.sfx", "stub");
    WriteFile(Out / "Setup.1", "pkg");
    fs::permissions(Program / "Kest.sfx",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ASSERT_TRUE(ConvertToSfx());
    ASSERT_TRUE(AppendTrailer());
    std::string exe = ReadFile(Out / "Setup.exe");
    EXPECT_EQ(exe.substr(0, 7), "stubpkg");
    EXPECT_EQ(Le32At(exe, 11), 7u);
    EXPECT_EQ(Le32At(exe, 7), 0u);
}

TEST_F(SfxTest, EscAtThePromptLeavesNeitherFile) {
    WriteFile(Program / "Kest.sfx", std::string(40000, 'S'));
    WriteFile(Out / "Setup.1", std::string(1000000, 'P'));
    Console.Free = {1016};
    Console.Keys = {27};
    EXPECT_FALSE(ConvertToSfx());
    EXPECT_NE(Console.Output.find(" partition - 1016K is needed."), std::string::npos);
    EXPECT_FALSE(Exists(Out / "Setup.1"));
    EXPECT_FALSE(Exists(Out / "Setup.exe"));
}

TEST_F(SfxTest, FailuresLeaveNoPartialExecutable) {
    struct Case {
        const char* what;
        bool stub;
        bool package;
        bool outDirExists;
        const char* named;
    } cases[] = {
        {"stub missing", false, true, true, "Kest.sfx"},
        {"package missing", true, false, true, "Setup.1"},
        {"output not writable", true, true, false, "Setup.exe"},
    };
    for (const auto& c : cases) {
        TestUtil::TempDir program, out;
        BuildState().ProgramDir = program.Path();
        std::string outDir = c.outDirExists ? out.Path() : out.Path() + "Missing\\";
        BuildState().ExeFile = outDir + "Setup.exe";
        BuildState().PackageFile = out.Path() + "Setup.1";
        if (c.stub) WriteFile(program / "Kest.sfx", "stub");
        if (c.package) WriteFile(out / "Setup.1", "pkg");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(ConvertToSfx()) << c.what;
        std::string box = testing::internal::GetCapturedStderr();
        ExpectBoxNames(box, c.named);
        EXPECT_FALSE(Exists(BuildState().ExeFile)) << c.what;
        EXPECT_FALSE(Exists(out / "Setup.1")) << c.what;
    }
}

TEST_F(SfxTest, TrailerFailsWithoutExecutable) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(AppendTrailer());
    std::string box = testing::internal::GetCapturedStderr();
    ExpectBoxNames(box, "Setup.exe");
    EXPECT_FALSE(Exists(Out / "Setup.exe"));
}

}  // namespace
