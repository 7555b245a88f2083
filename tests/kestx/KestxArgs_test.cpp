#include "KestxArgs.h"

#include <gtest/gtest.h>

#include "KestxErrors.h"

namespace {

TEST(KestxArgs, AcceptedCommandLines) {
    struct TCase {
        std::vector<std::string> Args;
        TKestxCommand Command;
        std::string File, Dir, Password;
        bool HasPassword;
    };
    const TCase cases[] = {
        {{"list", "Setup.exe"}, TKestxCommand::List, "Setup.exe", "", "", false},
        {{"verify", "S.exe", "--password", "pw"}, TKestxCommand::Verify, "S.exe", "", "pw", true},
        {{"verify", "--password=a b", "S.exe"}, TKestxCommand::Verify, "S.exe", "", "a b", true},
        {{"extract", "S.exe", "out", "--password", ""},
         TKestxCommand::Extract,
         "S.exe",
         "out",
         "",
         true},
        {{"extract", "--", "-odd.exe", "-dir"},
         TKestxCommand::Extract,
         "-odd.exe",
         "-dir",
         "",
         false},
        {{"verify", "S.exe", "--password", "--"}, TKestxCommand::Verify, "S.exe", "", "--", true},
        {{"--help"}, TKestxCommand::Help, "", "", "", false},
        {{"list", "x", "-h"}, TKestxCommand::Help, "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0] + " ... " + c.Args.back());
        const TKestxArgs a = ParseKestxArgs(c.Args);
        EXPECT_EQ(a.Command, c.Command);
        EXPECT_EQ(a.File, c.File);
        EXPECT_EQ(a.Dir, c.Dir);
        EXPECT_EQ(a.Password, c.Password);
        EXPECT_EQ(a.HasPassword, c.HasPassword);
    }
}

TEST(KestxArgs, RefusedCommandLines) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"unpack", "S.exe"},
        {"list"},
        {"list", "a", "b"},
        {"extract", "S.exe"},
        {"extract", "S.exe", "d", "e"},
        {"verify", "S.exe", "--password"},
        {"verify", "S.exe", "--pasword", "x"},
        {"list", "S.exe", "--password", "x"},
        {"verify", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.empty() ? "(none)" : c[0] + " " + std::to_string(c.size()));
        EXPECT_THROW(ParseKestxArgs(c), EKestxUsage);
    }
}

TEST(KestxArgs, HelpDocumentsTheExitCodes) {
    const std::string help = KestxUsageText();
    EXPECT_NE(help.find("0  success"), std::string::npos);
    EXPECT_NE(help.find("1  bad usage"), std::string::npos);
    EXPECT_NE(help.find("2  error in the data"), std::string::npos);
}

}  // namespace
