#include "BuildDriver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "kvStringList.h"

namespace {

TEST(PruneLinksTest, DropsLinksWhoseStoredPathIsAFileOfTheImage) {
    TestUtil::TempDir image;
    TestUtil::WriteFile(image / "Data/Readme.txt", "image copy");
    std::filesystem::create_directories(image / "Data/Extra.txt");  // a directory: no match
    TestUtil::WriteFile(image / "Presetup/Lang.lng", "x");
    TStringList links;
    for (const char* line :
         {"Data\\Readme.txt=C:\\Docs\\Readme.txt", "Data\\Extra.txt=C:\\Docs\\Extra.txt",
          "presetup\\Lang.lng=C:\\Docs\\Lang.lng", "Data\\Missing.txt=C:\\Docs\\Missing.txt",
          "Data\\Readme.txt=again"})
        links.Add(line);
    PruneLinks(links, image.Path());
    ASSERT_EQ(links.Count(), 2);
    EXPECT_EQ(links[0], "Data\\Extra.txt=C:\\Docs\\Extra.txt");
    EXPECT_EQ(links[1], "Data\\Missing.txt=C:\\Docs\\Missing.txt");
}

TEST(PruneLinksTest, EmptyListAndMissingImageKeepEverything) {
    TStringList links;
    PruneLinks(links, "");
    EXPECT_EQ(links.Count(), 0);
    links.Add("Data\\A.txt=x");
    TestUtil::TempDir dir;
    PruneLinks(links, dir / "NoImage\\");
    EXPECT_EQ(links.Count(), 1);
}

}  // namespace
