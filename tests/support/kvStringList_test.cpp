#include "kvStringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Entries(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

TEST(kvStringList, UnsortedKeepsOrderAndObjects) {
    TStringList list;
    int a = 1, b = 2;
    EXPECT_EQ(list.Add("zeta", &a), 0);
    EXPECT_EQ(list.Add("Alpha", &b), 1);
    list.Insert(1, "mid");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"zeta", "mid", "Alpha"}));
    EXPECT_EQ(list.Objects(0), &a);
    EXPECT_EQ(list.Objects(1), nullptr);
    EXPECT_EQ(list.Objects(2), &b);
    EXPECT_EQ(list.IndexOf("ALPHA"), 2);
    EXPECT_EQ(list.IndexOf("missing"), -1);
    list.Delete(0);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"mid", "Alpha"}));
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(kvStringList, NameValueAccess) {
    TStringList list;
    list.Add("plain");
    list.Add("Key=v=w");
    list.Add("=empty");
    list.Add("key=second");
    EXPECT_EQ(list.IndexOfName("KEY"), 1) << "first match, case ignored";
    EXPECT_EQ(list.IndexOfName("plain"), -1) << "entries without = never match";
    EXPECT_EQ(list.IndexOfName(""), 2);
    EXPECT_EQ(list.Names(1), "Key");
    EXPECT_EQ(list.ValueFromIndex(1), "v=w");
    EXPECT_EQ(list.Names(0), "");
    EXPECT_EQ(list.ValueFromIndex(0), "");
}

TEST(kvStringList, SortedModeSearchesAndInserts) {
    TStringList list;
    for (const char* s : {"delta", "Bravo", "alpha", "Charlie"}) list.Add(s);
    list.SetSorted(true);
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}));
    EXPECT_EQ(list.Add("BETA"), 1);
    EXPECT_EQ(list.Add("echo"), 5);
    EXPECT_EQ(Entries(list),
              (std::vector<std::string>{"alpha", "BETA", "Bravo", "Charlie", "delta", "echo"}));
    int index = -1;
    EXPECT_TRUE(list.Find("CHARLIE", index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(list.Find("c", index));
    EXPECT_EQ(index, 3) << "insertion point";
    EXPECT_FALSE(list.Find("zulu", index));
    EXPECT_EQ(index, 6);
    EXPECT_EQ(list.IndexOf("Delta"), 4);
    EXPECT_EQ(list.IndexOf("foxtrot"), -1);
}

TEST(kvStringList, ChangeStampMovesOnEveryStringChange) {
    TStringList list;
    uint64_t last = list.ChangeStamp();
    auto changed = [&] {
        bool moved = list.ChangeStamp() != last;
        last = list.ChangeStamp();
        return moved;
    };
    list.Add("a");
    EXPECT_TRUE(changed());
    list.Insert(0, "b");
    EXPECT_TRUE(changed());
    list.SetString(0, "c");
    EXPECT_TRUE(changed());
    int o = 0;
    list.SetObject(0, &o);
    EXPECT_FALSE(changed()) << "objects are not part of the names";
    list.Delete(0);
    EXPECT_TRUE(changed());
    list.SetSorted(true);
    EXPECT_TRUE(changed());
    list.Clear();
    EXPECT_TRUE(changed());
}

}  // namespace
