#include "Packaging.h"

#include <gtest/gtest.h>

#include "BuildState.h"
#include "ConsoleScript.h"
#include "kvErrors.h"
#include "kvFileUtils.h"

namespace {

class ProgressTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetBuildState(); }
    void TearDown() override { ResetBuildState(); }
    TConsoleScript Console;
};

TEST(ProgressLineTest, FormatTable) {
    std::string pad60 = "  Adding Kest.ini  " + std::string(60 - 19, ' ');
    struct Case {
        const char* name;
        int32_t size;
        int32_t done;
        std::string line;
    } cases[] = {
        {"Kest.ini", 1000, 125, pad60 + "12%"},   // 12.5 goes to the even 12
        {"Kest.ini", 1000, 375, pad60 + "38%"},   // 37.5 goes to the even 38
        {"Kest.ini", 1000, 998, pad60 + "100%"},  // rounds up without being complete
        {"Kest.ini", 1000, 1000, pad60 + "Ok  "},
        {"Kest.ini", 1000, 5, pad60 + "0%"},   // 0.5 goes to the even 0
        {"Kest.ini", 1000, 15, pad60 + "2%"},  // 1.5 goes to the even 2
        {"Kest.ini", 3, 1, pad60 + "33%"},
        {"Kest.ini", 3, 2, pad60 + "67%"},
        // Binary halves, exact in whole numbers but not in floating point: both builds
        // print the same percentage.
        {"Kest.ini", 40, 23, pad60 + "58%"},                          // 57.5
        {"Kest.ini", 40, 1, pad60 + "2%"},                            // 2.5
        {"Kest.ini", 40, 27, pad60 + "68%"},                          // 67.5
        {"Kest.ini", 8, 1, pad60 + "12%"},                            // 12.5
        {"Kest.ini", 8, 5, pad60 + "62%"},                            // 62.5
        {"Kest.ini", 8, 7, pad60 + "88%"},                            // 87.5
        {"Kest.ini", 200, 199, pad60 + "100%"},                       // 99.5
        {"Kest.ini", 1 << 30, (1 << 29) + (1 << 22), pad60 + "50%"},  // 50.390625
        {"Kest.ini", 2147483647, 2147483646, pad60 + "100%"},         // no overflow near the top
        {"Kest.ini", 2147483647, 10737418, pad60 + "0%"},             // 0.49999999...
        {"Kest.ini", 0, 0, pad60 + "Ok  "},                           // empty file: no division
        {"Kest.ini", 10, 11, pad60 + "Ok  "},
        {"", 10, 0, "  Adding   " + std::string(60 - 11, ' ') + "0%"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressLine(c.name, c.size, c.done), c.line) << c.name << " " << c.done;
    }
    // A text longer than 60 columns is not cut and gets no padding.
    std::string longName(70, 'n');
    EXPECT_EQ(ProgressLine(longName, 10, 10), "  Adding " + longName + "  Ok  ");
    std::string exact(49, 'e');  // 9 + 49 + 2 = 60 columns exactly
    EXPECT_EQ(ProgressLine(exact, 10, 10), "  Adding " + exact + "  Ok  ");
}

TEST_F(ProgressTest, LaterReportsOfAFileReplaceItsLine) {
    TBuildState& state = BuildState();
    state.ShownNameSkip = 4;
    for (int32_t done : {125, 375, 998, 1000})
        EXPECT_TRUE(ProgressHandler("img\\Data\\A.txt", 1000, 100, done));
    std::string line = "  Adding Data\\A.txt  ";
    line.resize(60, ' ');
    EXPECT_EQ(Console.Output,
              line + "12%\n<up>" + line + "38%\n<up>" + line + "100%\n<up>" + line + "Ok  \n");
    EXPECT_EQ(state.SizeTotal, 1000);
    EXPECT_EQ(state.LastShownFile, "img\\Data\\A.txt");
}

TEST_F(ProgressTest, NewFilesCountOnceAndSameSourceSharesALine) {
    TBuildState& state = BuildState();
    ProgressHandler("C:\\Libs\\Shared.dll", 300, 300, 300);
    // A second link to the same source: same name, so no new count and the same line.
    ProgressHandler("C:\\Libs\\Shared.dll", 300, 300, 300);
    ProgressHandler("C:\\Libs\\Other.dll", 0, 0, 0);
    ProgressHandler("C:\\Libs\\other.dll", 7, 7, 7);  // letter case makes it another file
    EXPECT_EQ(state.SizeTotal, 307);
    auto lines = Console.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].substr(0, 4), "<up>");
    EXPECT_EQ(lines[2].find("<up>"), std::string::npos);
    EXPECT_EQ(lines[3].find("<up>"), std::string::npos);
    EXPECT_EQ(lines[0].substr(0, 29), "  Adding C:\\Libs\\Shared.dll  ");
}

TEST_F(ProgressTest, NameSkippingTable) {
    TBuildState& state = BuildState();
    struct Case {
        int32_t skip;
        const char* file;
        const char* shown;
    } cases[] = {
        {int32_t(std::string("C:\\Temp\\ABC12345\\").size() + 9),
         "C:\\Temp\\ABC12345\\Presetup\\Kest.ini", "Kest.ini"},
        {int32_t(std::string("C:\\Img\\").size() + 5), "C:\\Img\\Data\\Bin\\App.exe",
         "Bin\\App.exe"},
        {0, "C:\\Libs\\Extra.dll", "C:\\Libs\\Extra.dll"},
        {40, "C:\\short.txt", ""},
    };
    for (const auto& c : cases) {
        Console.Output.clear();
        state.ShownNameSkip = c.skip;
        ProgressHandler(c.file, 1, 1, 1);
        EXPECT_EQ(Console.Output, ProgressLine(c.shown, 1, 1) + "\n") << c.file;
    }
}

TEST_F(ProgressTest, OutputErrorPassesOn) {
    Console.FailWrites = true;
    EXPECT_THROW(ProgressHandler("x", 1, 1, 1), EInOutError);
}

TEST_F(ProgressTest, DiskSpaceWithAmountWaitsUntilMoreThanTheLimitIsFree) {
    Console.Free = {100, 4883, 4884};
    Console.Keys = {'a', 'b'};
    EXPECT_FALSE(ConfirmDiskSpace("C:\\Out\\", 5000000));
    std::string drive = DrivePart("C:\\Out\\");  // "C:" where paths have drive letters
    std::string prompt = "\nInsufficient free disk space at " + drive +
                         " partition - 4883K is needed.\n"
                         "Clean your disk and press any key for continue or press Esc for "
                         "abort.\n\n";
    EXPECT_EQ(Console.Output, prompt + prompt);
    EXPECT_TRUE(Console.Keys.empty());
    EXPECT_EQ(Console.FreeAsked, std::vector<std::string>(3, "C:\\Out\\"));
}

TEST_F(ProgressTest, DiskSpaceEnoughAtOnceIsSilent) {
    Console.Free = {4884};
    EXPECT_FALSE(ConfirmDiskSpace("C:\\Out\\", 5000000));
    Console.Free = {101};
    EXPECT_FALSE(ConfirmDiskSpace("C:\\Out\\", 0));
    EXPECT_EQ(Console.Output, "");
}

TEST_F(ProgressTest, EscAbortsAndOtherKeysTestAgain) {
    Console.Free = {0};  // a path that is not an existing directory counts as 0 KiB
    Console.Keys = {'x', ' ', 27, 'y'};
    EXPECT_TRUE(ConfirmDiskSpace("nowhere", 1040000));
    EXPECT_EQ(Console.Keys.size(), 1u);
    EXPECT_NE(Console.Output.find(" partition - 1016K is needed."), std::string::npos);
}

TEST_F(ProgressTest, HandlerAsksForOneHundredKiBWithoutAmount) {
    Console.Free = {100, 101};
    Console.Keys = {'k'};
    bool abort = true;
    DiskSpaceHandler("d:\\pkg\\", abort);
    EXPECT_FALSE(abort);
    std::string drive = DrivePart("D:\\");
    EXPECT_NE(Console.Output.find("Insufficient free disk space at " + drive + " partition.\n"),
              std::string::npos);
    Console.Free = {5};
    Console.Keys = {27};
    DiskSpaceHandler("d:\\pkg\\", abort);
    EXPECT_TRUE(abort);
}

TEST_F(ProgressTest, KeyWaitErrorPassesOn) {
    Console.Free = {0};
    TBuildConsole& console = BuildConsole();
    console.WaitKey = []() -> int { throw EPlatformError("no console", 6); };
    EXPECT_THROW(ConfirmDiskSpace("C:\\", 10), EPlatformError);
}

}  // namespace
