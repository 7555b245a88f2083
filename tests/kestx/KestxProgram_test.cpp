// The kestx program itself: exit codes, and messages on the right stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "KestxTestKit.h"
#include "TestUtil.h"

namespace {

using namespace KestxTestKit;

struct TProcess {
    int Code;
    std::string Out, Err;
};

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

TProcess RunProgram(const std::string& args, const TestUtil::TempDir& tmp) {
    const std::string exe = TestUtil::Env("KEST_BIN_DIR") + "/kestx";
    const std::string out = tmp.Path() + "stdout", err = tmp.Path() + "stderr";
    const int status =
        std::system((Quote(exe) + " " + args + " >" + Quote(out) + " 2>" + Quote(err)).c_str());
    return {(status >> 8) & 0xFF, ReadBytes(out), ReadBytes(err)};
}

class KestxProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        // The program is started through a POSIX shell; under Wine the in-process runs of
        // the other tests cover the same code.
        if (OnWindows()) GTEST_SKIP() << "runs the native program through a POSIX shell";
        if (TestUtil::Env("KEST_BIN_DIR").empty()) GTEST_SKIP() << "KEST_BIN_DIR is not set";
    }
    TestUtil::TempDir tmp;
};

TEST_F(KestxProgram, ExitCodesAndStreams) {
    TBuildOptions options;
    options.Password = "pw";
    const TBuilt built =
        BuildPackage(tmp.Path() + "b", {{"Data\\a.txt", MakeData(900, 1)}}, options);
    const std::string exe = Quote(built.Exe);

    const TProcess help = RunProgram("--help", tmp);
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Out.find("Exit codes"), std::string::npos);

    const TProcess usage = RunProgram("unpack " + exe, tmp);
    EXPECT_EQ(usage.Code, 1);
    EXPECT_EQ(usage.Out, "");
    EXPECT_NE(usage.Err.find("unknown command 'unpack'"), std::string::npos);

    const TProcess ok = RunProgram("verify " + exe + " --password pw", tmp);
    EXPECT_EQ(ok.Code, 0) << ok.Err;
    EXPECT_NE(ok.Out.find("OK: 2 files"), std::string::npos) << ok.Out;
    EXPECT_EQ(ok.Err, "");  // no progress bar when standard error is not a terminal

    const TProcess wrong = RunProgram("verify " + exe + " --password nope", tmp);
    EXPECT_EQ(wrong.Code, 2);
    EXPECT_EQ(wrong.Err, "kestx: error: wrong password\n");

    std::string bytes = ReadBytes(built.Exe);
    bytes[bytes.size() - 200] ^= 0x55;
    WriteBytes(built.Exe, bytes);
    const TProcess corrupt =
        RunProgram("extract " + exe + " " + Quote(tmp.Path() + "x") + " --password pw", tmp);
    EXPECT_EQ(corrupt.Code, 2);
    EXPECT_EQ(corrupt.Err.rfind("kestx: error: ", 0), 0u) << corrupt.Err;
}

// Stored names and arguments with control characters are printed as <XX>: a name must not
// send terminal commands, return the cursor or start a fake listing line.
TEST_F(KestxProgram, ControlCharactersInNamesAndMessagesArePrintedEscaped) {
    const TBuilt built = BuildPackage(tmp.Path() + "b",
                                      {{"Data\\Clear\x1b[2J.txt", "e"},
                                       {"Data\\Back\r      9  Data\\Fake.txt", "r"},
                                       {"Data\\Two\nlines.txt", "n"}},
                                      {});
    const TProcess list = RunProgram("list " + Quote(built.Exe), tmp);
    EXPECT_EQ(list.Code, 0) << list.Err;
    for (const char* shown :
         {"  Data\\Clear<1B>[2J.txt\n", "  Data\\Back<0D>      9  Data\\Fake.txt\n",
          "  Data\\Two<0A>lines.txt\n"})
        EXPECT_NE(list.Out.find(shown), std::string::npos) << shown << "\n" << list.Out;
    EXPECT_EQ(list.Out.find_first_of("\x1b\r"), std::string::npos) << list.Out;
    // Four files (Kest.ini too), the summary and the protection line: no line more.
    EXPECT_EQ(std::count(list.Out.begin(), list.Out.end(), '\n'), 6) << list.Out;

    const TProcess missing =
        RunProgram("list " + Quote(tmp.Path() + "No\x1b]0;title\x07.exe"), tmp);
    EXPECT_EQ(missing.Code, 2);
    EXPECT_NE(missing.Err.find("No<1B>]0;title<07>.exe"), std::string::npos) << missing.Err;
    EXPECT_EQ(missing.Err.find_first_of("\x1b\x07"), std::string::npos) << missing.Err;
}

}  // namespace
