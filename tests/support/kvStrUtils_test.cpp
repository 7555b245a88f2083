#include "kvStrUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Entries(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

const TCharSet Comma = CharSetOf(",");

TEST(kvStrUtils, PaddingNeverTruncates) {
    struct Case {
        char fill;
        std::string text;
        int width;
        std::string left, right;
    } cases[] = {
        {'0', "12345", 3, "12345", "12345"}, {'0', "12", 5, "00012", "12000"},
        {' ', "abc", 3, "abc", "abc"},       {' ', "", 2, "  ", "  "},
        {'x', "ab", -1, "ab", "ab"},         {' ', "ab", 0, "ab", "ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " width " + std::to_string(c.width));
        EXPECT_EQ(PadLeft(c.fill, c.text, c.width), c.left);
        EXPECT_EQ(PadRight(c.fill, c.text, c.width), c.right);
    }
}

TEST(kvStrUtils, DeleteCharsAndCopyBefore) {
    EXPECT_EQ(DeleteChars("a\nb\n\nc", '\n'), "abc");
    EXPECT_EQ(DeleteChars("", 'x'), "");
    EXPECT_EQ(DeleteChars("xxx", 'x'), "");
    EXPECT_EQ(CopyBefore("name.ext.bak", '.'), "name");
    EXPECT_EQ(CopyBefore("noseparator", '.'), "noseparator");
    EXPECT_EQ(CopyBefore(".lead", '.'), "");
}

TEST(kvStrUtils, HexAndRadixText) {
    EXPECT_EQ(HexStr(255, 2), "FF");
    EXPECT_EQ(HexStr(10, 2), "0A");
    EXPECT_EQ(HexStr(0, 2), "00");
    EXPECT_EQ(HexStr(0x1234, 2), "1234");  // more digits when the value needs them
    EXPECT_EQ(HexStr(0, 0), "0");
    EXPECT_EQ(HexStr(-1, 2), "FFFFFFFF");
    EXPECT_EQ(HexStr(-2, 10), "00FFFFFFFE");

    struct Case {
        int64_t value;
        uint8_t width, base;
        std::string text;
    } cases[] = {
        {0, 3, 32, "000"},     {31, 1, 32, "V"},     {32, 1, 32, "10"},
        {-5, 3, 32, ""},       {0, 0, 32, "0"},      {255, 0, 16, "FF"},
        {5, 8, 2, "00000101"}, {1023, 3, 32, "0VV"}, {7588150, 0, 32, "77I9M"},
        {2532, 0, 32, "2F4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RadixStr(c.value, c.width, c.base), c.text)
            << c.value << " width " << int(c.width) << " base " << int(c.base);
    EXPECT_EQ(RadixStr(5, 3, 1), "") << "a base below 2 has no digits and must not hang";
}

TEST(kvStrUtils, NameAndValueParts) {
    struct Case {
        std::string line, name, value;
    } cases[] = {
        {"a=b", "a", "b"}, {"a", "a", ""},  {"a=b=c", "a", "b=c"},
        {"=b", "", "b"},   {"a=", "a", ""}, {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameOf(c.line), c.name) << c.line;
        EXPECT_EQ(ValueOf(c.line), c.value) << c.line;
    }
    EXPECT_EQ(NamePart("k:v:w", ':'), "k");
    EXPECT_EQ(ValuePart("k:v:w", ':'), "v:w");
    EXPECT_EQ(ValuePart("kvw", ':'), "");
}

TEST(kvStrUtils, TokensSkipDelimiterRuns) {
    struct Case {
        std::string text;
        std::vector<std::string> tokens;
        std::vector<int> positions;
    } cases[] = {
        {"ENU,DEU", {"ENU", "DEU"}, {1, 5}},
        {",,ENU,,DEU,", {"ENU", "DEU"}, {3, 8}},
        {"ENU, DEU", {"ENU", " DEU"}, {1, 5}},
        {"", {}, {}},
        {",,,", {}, {}},
        {"x", {"x"}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("'" + c.text + "'");
        const int count = static_cast<int>(c.tokens.size());
        EXPECT_EQ(TokenCount(c.text, Comma), count);
        for (int n = 1; n <= count; ++n) {
            EXPECT_EQ(GetToken(n, c.text, Comma), c.tokens[n - 1]);
            EXPECT_EQ(TokenPosition(n, c.text, Comma), c.positions[n - 1]);
        }
        for (int n : {0, -1, count + 1}) {
            EXPECT_EQ(GetToken(n, c.text, Comma), "");
            EXPECT_EQ(TokenPosition(n, c.text, Comma), 0);
        }
        TStringList list;
        list.Add("stale");
        SplitToList(c.text, list, Comma);
        EXPECT_EQ(Entries(list), c.tokens);
    }
    const TCharSet blanks = CharSetOf(" \t");
    EXPECT_EQ(TokenCount(" a\tb  c ", blanks), 3);
    EXPECT_EQ(GetToken(3, " a\tb  c ", blanks), "c");
}

TEST(kvStrUtils, WildPosFindsFirstPlace) {
    struct Case {
        std::string pattern, text;
        int pos;
    } cases[] = {
        {"cd", "abcdcd", 3},  {"x", "abc", 0},  {"", "abc", 0},    {"c?", "abcdcd", 3},
        {"?", "", 0},         {"a?c", "ab", 0}, {"d?", "abcd", 0}, {"??", "ab", 1},
        {"b?d", "abxbcd", 4}, {"C", "abc", 0},  {"abc", "abc", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildPos(c.pattern, c.text), c.pos) << c.pattern << " in " << c.text;
}

TEST(kvStrUtils, CutAtStarCutsAtFirstStar) {
    std::string text = "ab*cd*";
    EXPECT_EQ(CutAtStar(text), 3);
    EXPECT_EQ(text, "ab");
    text = "plain";
    EXPECT_EQ(CutAtStar(text), 0);
    EXPECT_EQ(text, "plain");
    text = "*";
    EXPECT_EQ(CutAtStar(text), 1);
    EXPECT_EQ(text, "");
}

TEST(kvStrUtils, WildMatchWalk) {
    struct Case {
        std::string text, mask;
        bool ignoreCase, match;
    } cases[] = {
        {"data\\sub\\file.txt", "Data\\*", true, true},
        {"Presetup\\x", "Data\\*", true, false},
        {"Data=x", "Data\\*", true, false},
        {"data", "Data\\*", true, true},
        {"data\\x=c:\\src", "Data\\*", true, true},
        {"data\\x", "Data\\*", false, false},
        {"abc.txt", "*.TXT", false, false},
        {"abc.txt", "*.TXT", true, true},
        {"ab", "abc*", false, true},
        {"abcd", "abc", false, false},
        {"abc", "abcd", false, false},
        {"a1b2c", "a*b*c", false, true},
        {"a1c2b", "a*b*c", false, false},
        {"xyz", "x**", false, true},
        {"xyz", "x***z", false, true},
        {"", "*", false, true},
        {"", "", false, true},
        {"", "a", false, false},
        {"a", "", false, false},
        {"anything", "*", false, true},
        {"anything", "***", false, true},
        {"abc", "a?c", false, true},
        {"abc", "a?d", false, false},
        {"a*c", "a*c", false, true},
        {"a*xc", "a*c", false, false},  // the text's star is taken as a plain character
        {"abc", "*c", false, true},
        {"abc", "*?", false, true},
        {"abc", "*b", false, false},
        {"c", "*abc", false, false},   // the tail is longer than the text
        {"bc", "*abc", false, false},  // likewise, and must not read before the text
        {"b", "*?b", false, false},
        {"ab", "*???", false, false},
        {"xaby", "*a?*y", false, true},
        {"xaby", "*a?*z", false, false},
        {"abc", "ab*bc", false, true},  // the tail is compared with the end of the text
        {"abcab", "*b*", false, true},
        {"axb", "a*b*c*", false, true},  // the text runs out, the mask ends in a star
        {"axb", "a*b*c", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildMatch(c.text, c.mask, c.ignoreCase), c.match)
            << "'" << c.text << "' with '" << c.mask << "' ignoreCase " << c.ignoreCase;
}

TEST(kvStrUtils, SetNameValueReplacesByNameOrAppends) {
    TStringList list;
    list.Add("key=1");
    list.Add("other=2");
    SetNameValue(list, "KEY", "9");
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"KEY=9", "other=2"}));

    TStringList bare;
    bare.Add("key");
    SetNameValue(bare, "KEY", "9");
    EXPECT_EQ(Entries(bare), (std::vector<std::string>{"key", "KEY=9"}));

    TStringList dup;
    dup.Add("a=1");
    dup.Add("A=2");
    SetNameValue(dup, "a", "");
    EXPECT_EQ(Entries(dup), (std::vector<std::string>{"a=", "A=2"})) << "only the first one";

    TStringList emptyName;
    emptyName.Add("=x");
    SetNameValue(emptyName, "", "y");
    EXPECT_EQ(Entries(emptyName), (std::vector<std::string>{"=y"}));
}

TEST(kvStrUtils, StrToOemKeepsLength) {
    EXPECT_EQ(StrToOem(""), "");
    EXPECT_EQ(StrToOem("Plain ASCII 123"), "Plain ASCII 123");
    const std::string high = "caf\xE9";
    EXPECT_EQ(StrToOem(high).size(), high.size());
}

TEST(kvStrUtils, Int32Conversion) {
    struct Case {
        std::string text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"0", true, 0},
        {"-5", true, -5},
        {"+7", true, 7},
        {"  42", true, 42},
        {"2147483647", true, 2147483647},
        {"-2147483647", true, -2147483647},
        {"-2147483648", false, 0},
        {"2147483648", false, 0},
        {"99999999999999999999", false, 0},
        {"$1F", true, 31},
        {"$1f", true, 31},
        {"$FFFFFFFF", true, -1},
        {"$80000000", true, INT32_MIN},
        {"$0000000010", true, 16},
        {"$100000000", false, 0},
        {"$", false, 0},
        {"-$10", false, 0},
        {"$-1", false, 0},
        {"0x10", false, 0},
        {"1F", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"\t5", false, 0},
        {"5 ", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"yes", false, 0},
    };
    for (const auto& c : cases) {
        int32_t value = 12345;
        EXPECT_EQ(TryStrToInt32(c.text, value), c.ok) << "'" << c.text << "'";
        if (c.ok) {
            EXPECT_EQ(value, c.value) << "'" << c.text << "'";
        }
    }
}

}  // namespace
