#include "kvUtils.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "TestUtil.h"
#include "kvErrors.h"
#include "kvFileTestUtil.h"
#include "kvFileUtils.h"

namespace {

bool NativeHasDrives() {
    return TestUtil::Sep() == '\\';
}

bool EndsInSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

TEST(GetOSVersion, KindsTextsAndDescriptions) {
    struct Case {
        uint32_t platformId, major, minor, build;
        const char* servicePack;
        TOSKind kind;
        const char* versionText;
        int32_t buildOut;
        const char* description;
    } cases[] = {
        {1, 4, 10, 1998, "", osWin98, "4.10", 1998, "Windows 98 4.10.1998"},
        {1, 4, 0, 0x040003B6, "", osWin95, "4.0", 950, "Windows 95 4.0.0950"},
        {1, 4, 90, 0x045A0BB8, " A ", osWin98, "4.90", 3000, "Windows 98 4.90.3000  A"},
        {1, 3, 95, 1, "", osWin95, "3.95", 1, "Windows 95 3.95.0001"},
        {1, 5, 0, 7, "", osWin98, "5.0", 7, "Windows 98 5.0.0007"},
        {2, 4, 0, 1381, "Service Pack 6", osWinNT, "4.0", 1381,
         "Windows NT 4.0.1381 Service Pack 6"},
        {2, 5, 1, 2600, "Service Pack 3", osWin2000, "5.01", 2600,
         "Windows 2000 5.01.2600 Service Pack 3"},
        {2, 10, 0, 0x12345678, "", osWin2000, "10.0", 0x12345678, "Windows 2000 10.0.305419896"},
        {0, 3, 11, 0, "", osWin32s, "3.11", 0, "Windows 32s 3.11.0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const TOSVersion v = MakeOSVersion(c.platformId, c.major, c.minor, c.build, c.servicePack);
        EXPECT_EQ(v.Kind, c.kind);
        EXPECT_EQ(v.Major, static_cast<int32_t>(c.major));
        EXPECT_EQ(v.Minor, static_cast<int32_t>(c.minor));
        EXPECT_EQ(v.VersionText, c.versionText);
        EXPECT_EQ(v.Build, c.buildOut);
        EXPECT_EQ(v.ServicePack, c.servicePack);
        EXPECT_EQ(v.Description, c.description);
    }
}

TEST(GetOSVersion, RunningSystemIsRecordedOnce) {
    const TOSVersion& a = OSVersion();
    const TOSVersion b = GetOSVersion();
    EXPECT_EQ(&a, &OSVersion());
    EXPECT_EQ(a.Kind, b.Kind);
    EXPECT_EQ(a.Description, b.Description);
    EXPECT_EQ(a.Description.rfind("Windows ", 0), 0u) << a.Description;
    EXPECT_FALSE(a.VersionText.empty());
}

TEST(ClampToScreen, ShiftsIntoTheScreenKeepingSize) {
    struct Case {
        TRect in, out;
    } cases[] = {
        {MakeRect(10, 10, 110, 60), MakeRect(10, 10, 110, 60)},        // inside: unchanged
        {MakeRect(900, 10, 1100, 110), MakeRect(824, 10, 1024, 110)},  // beyond the right
        {MakeRect(-50, -20, 50, 80), MakeRect(0, 0, 100, 100)},        // beyond left and top
        {MakeRect(10, 700, 110, 800), MakeRect(10, 668, 110, 768)},    // beyond the bottom
        {MakeRect(-10, -10, 1100, 900), MakeRect(0, 0, 1110, 910)},    // larger than the screen
    };
    for (const Case& c : cases) {
        TRect r = c.in;
        ClampToScreen(r, 1024, 768);
        EXPECT_EQ(r.Left, c.out.Left);
        EXPECT_EQ(r.Top, c.out.Top);
        EXPECT_EQ(r.Right, c.out.Right);
        EXPECT_EQ(r.Bottom, c.out.Bottom);
        EXPECT_EQ(RectWidth(r), RectWidth(c.in));
        EXPECT_EQ(RectHeight(r), RectHeight(c.in));
    }
}

TEST(CenterWindow, CentresInTheWorkAreaNotTheScreen) {
    struct Case {
        const char* what;
        TRect work, window;
        int32_t left, top;
    } cases[] = {
        {"full screen work area", MakeRect(0, 0, 1024, 768), MakeRect(5, 5, 205, 105), 412, 334},
        {"task bar at the left", MakeRect(100, 0, 1024, 768), MakeRect(0, 0, 200, 100), 462, 334},
        {"task bar at the top", MakeRect(0, 30, 1024, 768), MakeRect(0, 0, 200, 101), 412, 348},
        {"odd halves drop toward zero", MakeRect(0, 0, 1023, 767), MakeRect(0, 0, 200, 100), 411,
         333},
        {"wider than the screen", MakeRect(0, 0, 1024, 768), MakeRect(0, 0, 1225, 100), 0, 334},
        {"taller than the screen", MakeRect(0, 0, 1024, 768), MakeRect(0, 0, 100, 901), 462, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TRect r = CenterRect(c.work, c.window, 1024, 768);
        EXPECT_EQ(r.Left, c.left);
        EXPECT_EQ(r.Top, c.top);
        EXPECT_EQ(RectWidth(r), RectWidth(c.window));
        EXPECT_EQ(RectHeight(r), RectHeight(c.window));
    }
}

TEST(ShowError, CaptionDefaultsToError) {
    EXPECT_EQ(ErrorBoxCaption(), "Error");
    SetErrorCaption("Marvo Setup");
    EXPECT_EQ(ErrorBoxCaption(), "Marvo Setup");
    SetErrorCaption("");
    EXPECT_EQ(ErrorBoxCaption(), "Error");
}

TEST(ShowError, BoxShowsCaptionAndText) {
    if (NativeHasDrives()) GTEST_SKIP() << "the box is a window here, not text on standard error";
    testing::internal::CaptureStderr();
    ShowError("Image directory is not exists!");
    SetErrorCaption("Custom");
    ShowError("second");
    SetErrorCaption("");
    const std::string err = testing::internal::GetCapturedStderr();
    const auto first = err.find("Error");
    const auto text = err.find("Image directory is not exists!");
    const auto custom = err.find("Custom");
    ASSERT_NE(first, std::string::npos) << err;
    ASSERT_NE(text, std::string::npos) << err;
    ASSERT_NE(custom, std::string::npos) << err;
    EXPECT_LT(first, text);
    EXPECT_LT(text, custom);
    EXPECT_NE(err.find("second", custom), std::string::npos) << err;
}

TEST(CenteredMessageBox, ReturnsTheAnswerAndKeepsFlags) {
    SetMessageBoxFlags(65536);
    EXPECT_EQ(MessageBoxFlags(), 65536u);
    testing::internal::CaptureStderr();
    const int answer = CenteredMessageBox("Caption", "Text", 0);  // OK only: the answer is IDOK
    testing::internal::GetCapturedStderr();
    SetMessageBoxFlags(0);
    EXPECT_EQ(MessageBoxFlags(), 0u);
    // Without a display a real box cannot be shown; where the box is text, it answers OK.
    if (!NativeHasDrives()) {
        EXPECT_EQ(answer, 1);
    }
}

TEST(GetTempDir, TheFallbackRule) {
    const TOSVersion nt = MakeOSVersion(2, 5, 1, 2600, "");
    const TOSVersion w98 = MakeOSVersion(1, 4, 10, 1998, "");
    struct Case {
        const char* what;
        std::string temp, cur;
        const TOSVersion* os;
        bool drives;
        std::string expected;
    } cases[] = {
        {"configured", "C:\\Users\\a\\Temp", "C:\\Work", &nt, true, "C:\\Users\\a\\Temp\\"},
        {"already ends in a separator", "C:\\T\\", "C:\\Work", &nt, true, "C:\\T\\"},
        {"equals the current dir, NT", "c:\\work\\", "C:\\WORK", &nt, true, "C:\\Temp\\"},
        {"equals the current dir, 98", "C:\\Work", "c:\\work", &w98, true, "C:\\WINDOWS\\Temp\\"},
        {"letters only fold A to Z", "C:\\\xC9", "C:\\\xE9", &nt, true, "C:\\\xC9\\"},
        {"failed query gives empty", "", "C:\\Work", &nt, true, ""},
        {"no drives: no fallback", "\\tmp\\", "\\tmp", &nt, false, "\\tmp\\"},
        {"no drives: configured", "/var/tmp/", "/home/a", &nt, false, "/var/tmp/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TempDirFrom(c.temp, c.cur, *c.os, "C:\\WINDOWS", c.drives), c.expected);
    }
}

TEST(GetTempDir, RealTemporaryDirectory) {
    const std::string temp = GetTempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(EndsInSeparator(temp)) << temp;
    EXPECT_TRUE(IsDirectory(temp)) << temp;
    EXPECT_TRUE(IsDirectory(GetWindowsDir())) << GetWindowsDir();
}

TEST(ProgramFileName, NamesThisTestProgram) {
    const std::string file = ProgramFileName();
    const std::string dir = ProgramDir();
    EXPECT_TRUE(Plat::FileExists(file)) << file;
    ASSERT_TRUE(EndsInSeparator(dir)) << dir;
    ASSERT_EQ(file.compare(0, dir.size(), dir), 0) << file;
    std::string name = file.substr(dir.size());
    for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(name == "support_tests" || name == "support_tests.exe") << name;
}

TEST(WaitForKey, RaisesWhenStandardInputIsNoConsole) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(FileTest::Write(dir / "keys.txt", "xyz\r\n"));
    ASSERT_NE(std::freopen((dir / "keys.txt").c_str(), "r", stdin), nullptr);
    try {
        WaitForKey();
        ADD_FAILURE() << "no error raised";
    } catch (const EPlatformError& e) {
        // Said plainly, not as the system's "The handle is invalid".
        EXPECT_EQ(std::string(e.what()),
                  "There is no console to wait on for a key: standard input is not a console.");
        EXPECT_FALSE(Plat::StdinIsConsole());
    }
}

TEST(RaiseLastPlatformError, MessageForACodeAndForNone) {
    try {
        RaiseLastPlatformError(0);
    } catch (const EPlatformError& e) {
        EXPECT_EQ(std::string(e.what()), "A Win32 API function failed");
        EXPECT_EQ(e.Code, 0u);
    }
    try {
        RaiseLastPlatformError(5);
    } catch (const EKestError& e) {
        EXPECT_EQ(std::string(e.what()), "Win32 Error.  Code: 5.\n" + Plat::ErrorText(5));
        EXPECT_FALSE(Plat::ErrorText(5).empty());
    }
}

TEST(LoadDynLibrary, LoadsLooksUpAndFrees) {
    TestUtil::TempDir dir;
    ASSERT_TRUE(FileTest::Write(dir / "not a library.dll", "garbage"));
    EXPECT_EQ(LoadDynLibrary(dir / "missing.dll"), nullptr);
    EXPECT_EQ(LoadDynLibrary(dir / "not a library.dll"), nullptr);
    FreeDynLibrary(nullptr);
    struct Candidate {
        std::string path;
        const char* symbol;
    } candidates[] = {
        {GetWindowsDir() + "\\system32\\kernel32.dll", "GetTickCount"},
        {"/lib/x86_64-linux-gnu/libc.so.6", "strlen"},
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "strlen"},
    };
    for (const Candidate& c : candidates) {
        if (!Plat::FileExists(c.path)) continue;
        void* lib = LoadDynLibrary(c.path);
        ASSERT_NE(lib, nullptr) << c.path;
        EXPECT_NE(GetDynProc(lib, c.symbol), nullptr);
        EXPECT_EQ(GetDynProc(lib, "NoSuchExportAnywhere"), nullptr);
        FreeDynLibrary(lib);
        return;
    }
    GTEST_SKIP() << "no system library at a known place";
}

}  // namespace
