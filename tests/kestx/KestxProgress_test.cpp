#include "KestxProgress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(KestxProgress, FormatsBarPercentageAndLabel) {
    EXPECT_EQ(FormatProgress(0, 200, "a.txt"), "[..............................]   0% a.txt");
    EXPECT_EQ(FormatProgress(100, 200, "a.txt"), "[###############...............]  50% a.txt");
    EXPECT_EQ(FormatProgress(200, 200, ""), "[##############################] 100% ");
    // Nothing to do counts as done; overshooting never exceeds 100%.
    EXPECT_EQ(FormatProgress(0, 0, "x").substr(33, 4), "100%");
    EXPECT_EQ(FormatProgress(500, 200, "x").substr(33, 4), "100%");
}

TEST(KestxProgress, LongLabelKeepsItsEndAndFitsTheLine) {
    const std::string label = "Data\\" + std::string(100, 'd') + "\\Final.bin";
    const std::string line = FormatProgress(1, 2, label, 79);
    EXPECT_EQ(line.size(), 79u);
    EXPECT_EQ(line.substr(line.size() - 9), "Final.bin");
    EXPECT_NE(line.find("..."), std::string::npos);
    EXPECT_EQ(FormatProgress(1, 2, label, 40).size(), 40u);
}

TEST(KestxProgress, DrawsOnlyForLongWorkAndOnlyOnChange) {
    std::ostringstream out;
    {
        TProgressBar bar(&out, 100, 50);
        bar.SetLabel("f");
        const size_t afterLabel = out.str().size();
        EXPECT_GT(afterLabel, 0u);
        bar.Advance(0);  // nothing visible changed
        EXPECT_EQ(out.str().size(), afterLabel);
        bar.Advance(40);
        EXPECT_NE(out.str().find(" 40% f"), std::string::npos);
        bar.Finish();
        // The line is wiped so a message that follows starts clean.
        EXPECT_EQ(out.str().back(), '\r');
    }
    std::ostringstream quiet;
    {
        TProgressBar small(&quiet, 10, 50);
        small.SetLabel("f");
        small.Advance(10);
        TProgressBar none(nullptr, 100, 0);
        none.Advance(50);
    }
    EXPECT_TRUE(quiet.str().empty());
}

TEST(KestxProgress, ControlCharactersInTheLabelAreShownEscaped) {
    std::ostringstream out;
    {
        TProgressBar bar(&out, 100, 0);
        bar.SetLabel("Data\\Esc\x1b[2J\rx\n.txt");
        bar.Advance(50);
    }
    EXPECT_NE(out.str().find("Data\\Esc<1B>[2J<0D>x<0A>.txt"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find_first_of("\x1b\n"), std::string::npos);
}

}  // namespace
