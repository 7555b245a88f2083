#include "kvIniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "kvErrors.h"
#include "kvFileUtils.h"
#include "kvUtils.h"

namespace {

using TestUtil::Exists;
using TestUtil::ReadFile;
using TestUtil::TempDir;
using TestUtil::WriteFile;

struct Options {
    bool skipComments = true, requireEquals = true, trimEquals = true, stripQuotes = true;
};
const Options AllOn;
const Options AllOff{false, false, false, false};

std::unique_ptr<TkvIniFile> Open(const std::string& name, bool readOnly = true, Options o = AllOn) {
    return std::make_unique<TkvIniFile>(name, readOnly, o.skipComments, o.requireEquals,
                                        o.trimEquals, o.stripQuotes);
}

// Every section, empty ones included, as "[name]" followed by its lines, joined by "|".
std::string Dump(const TkvIniFile& ini) {
    std::string out;
    for (int s = 0; s < ini.Sections.Count(); ++s) {
        out += (s ? "|[" : "[") + ini.Sections.Strings(s) + "]";
        const TStringList* lines = ini.Sections.SectionLines(s);
        for (int i = 0; i < lines->Count(); ++i) out += "|" + lines->Strings(i);
    }
    return out;
}

std::vector<std::string> Entries(const TStringList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
    return out;
}

std::string LoadDump(const std::string& content, Options o = AllOn) {
    TempDir dir;
    WriteFile(dir / "t.ini", content);
    return Dump(*Open(dir / "t.ini", true, o));
}

TEST(kvIniFile, LineEndsReadAlike) {
    const std::string expected = "[Config]|Key=Value|Other=2|[Next]|x=";
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        SCOPED_TRACE(eol == "\n" ? "LF" : eol == "\r" ? "CR" : "CR LF");
        const std::string body =
            "[Config]" + eol + "Key = Value" + eol + "Other=2" + eol + eol + "[Next]" + eol + "x=";
        EXPECT_EQ(LoadDump(body), expected) << "last line without an end";
        EXPECT_EQ(LoadDump(body + eol), expected);
    }
    EXPECT_EQ(LoadDump("[Config]\nKey = Value\r\nOther=2\r\r\n[Next]\rx=\n"), expected) << "mixed";
}

TEST(kvIniFile, TextFormatAsRead) {
    struct Case {
        const char* what;
        std::string content;
        Options options;
        std::string model;
    } cases[] = {
        {"blanks inside brackets stay", "[ Config ]\r\nk=v\r\n[]\r\ne=1\r\n[a=b]\r\nq=1", AllOn,
         "[ Config ]|k=v|[]|e=1|[a=b]|q=1"},
        {"lines before the first header", "k=1\r\n[S]\r\nk=2", AllOn, "[S]|k=2"},
        {"control characters at the ends", "\t [S] \x1a\r\n\x01k=v\x1a\x1a", AllOn, "[S]|k=v"},
        {"comments skipped", ";c=1\r\n[S]\r\n  ;x=1\r\na=1 ;not\r\n#h=2", AllOn,
         "[S]|a=1 ;not|#h=2"},
        {"comments kept", "[S]\r\n;x=1", AllOff, "[S]|;x=1"},
        {"lines without =", "[S]\r\nnoequals\r\n=lead", AllOn, "[S]|=lead"},
        {"lines without = kept", "[S]\r\nnoequals\r\n=lead", AllOff, "[S]|noequals|=lead"},
        {"trim around =", "[S]\r\nk \t=\t v  x\r\n= v\r\na b = c d", AllOn,
         "[S]|k=v  x|= v|a b=c d"},
        {"no trim", "[S]\r\nk \t=\t v", AllOff, "[S]|k \t=\t v"},
        {"quotes",
         "[S]\r\nd=\" a b \"\r\ns=' x '\r\nm='x\"\r\ne=\"\"\r\none=\"\r\n"
         "in=\"a\"b\"\r\n=\"lead\"",
         AllOn, "[S]|d= a b |s= x |m='x\"|e=|one=\"|in=a\"b|=\"lead\""},
        {"quotes kept", "[S]\r\nd=\"x\"", AllOff, "[S]|d=\"x\""},
        {"trim then strip", "[S]\r\nk = \" a \"", AllOn, "[S]|k= a "},
        {"header-like lines", "[S]\r\n[x\r\nx]=1\r\n[", AllOff, "[S]|[x|x]=1|["},
        {"byte-order mark before the first header", "\xEF\xBB\xBF[S]\r\nk=v", AllOn, "[S]|k=v"},
        {"byte-order mark alone", "\xEF\xBB\xBF", AllOff, ""},
        {"mark-like bytes later are text (of a file that is not UTF-8)",
         "[S]\r\n\xEF\xBB\xBFk=\xE9", AllOff, "[S]|\xEF\xBB\xBFk=\xE9"},
        {"half a mark is text", "\xEF\xBB[S]\r\nk=v", AllOff, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(LoadDump(c.content, c.options), c.model) << c.what;
}

// Text saved as UTF-8 is read in the ANSI code page (Windows-1252 here) that names are kept
// in; other text is taken as it is.
TEST(kvIniFile, Utf8TextIsReadInTheCodePage) {
    if (Plat::AnsiCodePage() != 1252) GTEST_SKIP() << "code page " << Plat::AnsiCodePage();
    struct Case {
        const char* what;
        std::string content, model;
    } cases[] = {
        {"UTF-8", "[Files]\r\nData\\caf\xC3\xA9.txt=\xC3\x84rger",
         "[Files]|Data\\caf\xE9.txt=\xC4rger"},
        {"UTF-8 after a mark", "\xEF\xBB\xBF[\xC3\x9C]\r\nk=\xE2\x82\xAC", "[\xDC]|k=\x80"},
        {"Windows-1252", "[Files]\r\nData\\caf\xE9.txt=\xC4rger",
         "[Files]|Data\\caf\xE9.txt=\xC4rger"},
        {"one line not UTF-8", "[S]\r\na=\xC3\xA9\r\nb=\xE9", "[S]|a=\xC3\xA9|b=\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(LoadDump(c.content), c.model) << c.what;

    TempDir dir;
    WriteFile(dir / "p.kst", "[Config]\r\nImagePath=Image\r\n[FileLinks]\r\n\xE6\x97\xA5=x\r\n");
    try {
        Open(dir / "p.kst");
        ADD_FAILURE() << "a character that 1252 lacks was accepted";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("p.kst: line 4 "), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("1252"), std::string::npos) << e.what();
    }
}

TEST(kvIniFile, LfOnlyLinesStillFindKeys) {
    TempDir dir;
    WriteFile(dir / "p.ini", "[Config]\nKey = Value\n");
    auto ini = Open(dir / "p.ini");
    EXPECT_EQ(ini->ReadString("config", "KEY", "def"), "Value");
}

TEST(kvIniFile, DuplicateSectionsAndKeys) {
    TempDir dir;
    WriteFile(dir / "d.ini",
              "[A]\r\nx=1\r\n[a]\r\ny=2\r\n[B]\r\nz=3\r\n[A]\r\nw=4\r\n[S]\r\nk=1\r\nK=2\r\n");
    auto ini = Open(dir / "d.ini");
    EXPECT_EQ(Dump(*ini), "[A]|x=1|[B]|z=3|[S]|k=1|K=2");
    EXPECT_FALSE(ini->Modified) << "dropping duplicates while loading is no change";
    EXPECT_EQ(ini->ReadString("A", "y", "def"), "def");
    EXPECT_EQ(ini->ReadString("s", "K", "def"), "1") << "first of duplicate keys";
    TStringList values;
    ini->ReadSectionValues("S", values);
    EXPECT_EQ(Entries(values), (std::vector<std::string>{"K=2"}));
}

TEST(kvIniFile, EverySurvivorOfManyDuplicatesIsFound) {
    TempDir dir;
    std::string body;
    const int count = 60;
    for (int i = 0; i < count; ++i) {
        // Every fourth header repeats an earlier name in other letters.
        std::string name =
            i % 4 == 3 ? "SECTION" + std::to_string(i - 3) : "Section" + std::to_string(i);
        body += "[" + name + "]\r\nv=" + std::to_string(i) + "\r\n";
    }
    WriteFile(dir / "m.ini", body);
    auto ini = Open(dir / "m.ini");
    for (int i = 0; i < count; ++i) {
        if (i % 4 == 3) continue;
        SCOPED_TRACE(i);
        EXPECT_EQ(ini->ReadInteger("section" + std::to_string(i), "v", -1), i);
        EXPECT_EQ(ini->ReadInteger("section" + std::to_string(count - 1 - i), "V", -1),
                  (count - 1 - i) % 4 == 3 ? -1 : count - 1 - i);
    }
}

// The look-up the key index has to agree with: the first line holding "=" whose text
// before it equals the key under the platform's comparison.
int ScanForKey(const TStringList& lines, const std::string& key) {
    for (int i = 0; i < lines.Count(); ++i) {
        const size_t eq = lines[i].find('=');
        if (eq != std::string::npos &&
            Plat::AnsiCompareIgnoreCase(lines[i].substr(0, eq), key) == 0)
            return i;
    }
    return -1;
}

// Every key's look-up, through the section and straight on the list, against the scan.
void ExpectLookUpsAgree(TkvIniFile& ini, const std::string& section,
                        const std::vector<std::string>& keys) {
    for (const auto& key : keys) {
        TStringList* lines = nullptr;
        const int found = ini.FindKey(section, key, false, lines);
        ASSERT_NE(lines, nullptr) << section;
        EXPECT_EQ(found, ScanForKey(*lines, key)) << "key '" << key << "'";
        EXPECT_EQ(lines->IndexOfName(key), found) << "key '" << key << "'";
    }
}

TEST(kvIniFile, KeyIndexFollowsChangesToALongSection) {
    TempDir dir;
    auto ini = Open(dir / "k.ini", false);
    std::vector<std::string> keys;
    for (int i = 0; i < 100; ++i) {
        keys.push_back("File" + std::to_string(i));
        ini->WriteInteger("Files", keys.back(), i);
    }
    keys.insert(keys.end(), {"FILE100", "", "plain line", "Renamed", "file10"});
    TStringList* lines = nullptr;
    auto find = [&](const std::string& key) { return ini->FindKey("files", key, false, lines); };
    EXPECT_EQ(find("FILE0"), 0);
    EXPECT_EQ(find("file99"), 99);
    EXPECT_EQ(find("file100"), -1);
    ExpectLookUpsAgree(*ini, "Files", keys);

    ini->WriteInteger("Files", "FILE50", -50);
    EXPECT_EQ(find("file50"), 50) << "replaced in place";
    EXPECT_EQ(lines->Strings(50), "FILE50=-50");

    // Loading keeps duplicate keys; the first answers, and deleting it hands over to the
    // next, wherever the lines moved.
    lines->Add("file10=dup");
    lines->Add("plain line");
    lines->Add("File10=dup2");
    EXPECT_EQ(ini->ReadString("Files", "FILE10", ""), "10");
    ini->DeleteKey("Files", "file10");
    EXPECT_EQ(find("FILE10"), 99);
    EXPECT_EQ(ini->ReadString("Files", "FILE10", ""), "dup");
    ini->DeleteKey("Files", "FILE10");
    EXPECT_EQ(ini->ReadString("Files", "file10", ""), "dup2");
    ini->DeleteKey("Files", "File10");
    EXPECT_EQ(find("file10"), -1);
    EXPECT_EQ(find("plain line"), -1) << "a line without = is never found";
    EXPECT_EQ(find("file11"), 10) << "later lines moved up";
    EXPECT_EQ(lines->Count(), 100);
    ExpectLookUpsAgree(*ini, "Files", keys);

    // Changes made straight on the list.
    lines->Insert(0, "File99=front");
    EXPECT_EQ(ini->ReadString("Files", "file99", ""), "front");
    EXPECT_EQ(find("file0"), 1);
    lines->SetString(0, "Renamed=1");
    EXPECT_EQ(ini->ReadString("Files", "FILE99", ""), "99") << "back to its own line";
    EXPECT_EQ(find("RENAMED"), 0);
    lines->SetString(0, "Renamed");
    EXPECT_EQ(find("renamed"), -1);
    lines->SetString(5, "=empty name");
    EXPECT_EQ(find(""), 5);
    EXPECT_EQ(find("File4"), -1);
    lines->SetString(5, "file4=back");
    EXPECT_EQ(ini->ReadString("Files", "FILE4", ""), "back");
    ExpectLookUpsAgree(*ini, "Files", keys);

    // A section erased and written again starts from nothing.
    ini->EraseSection("FILES");
    EXPECT_EQ(ini->ReadString("Files", "File1", "gone"), "gone");
    ini->WriteString("files", "File1", "again");
    EXPECT_EQ(find("FILE1"), 0);
    EXPECT_EQ(find("File2"), -1);
    ExpectLookUpsAgree(*ini, "Files", keys);
}

TEST(kvIniFile, KeyIndexAgreesWithAScanUnderRandomChanges) {
    // A small pool of names in mixed letters, so that duplicates and case variants are
    // common; some hold bytes that a locale may fold or ignore, some look alike without
    // being equal.
    const std::vector<std::string> pool = {"a",
                                           "A",
                                           "File1",
                                           "FILE1",
                                           "file1",
                                           "b-c",
                                           "bc",
                                           "b'c",
                                           "",
                                           "x y",
                                           "X Y",
                                           "k",
                                           "k\x01",
                                           "tab\tkey",
                                           "Caf\xE9",
                                           "CAF\xC9",
                                           "caf\xE9",
                                           "cafe",
                                           "\xFF",
                                           "na\xEFve",
                                           "NA\xCFVE",
                                           "STRASSE",
                                           "stra\xDF\x65",
                                           "\xAD",
                                           "a\xAD\x62",
                                           "ab",
                                           "\xE6",
                                           "AE",
                                           "[S]",
                                           "Data\\Dir\\F.dat",
                                           "DATA\\DIR\\f.DAT"};
    for (uint32_t seed : {1u, 7u, 1234567u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        uint32_t x = seed;
        auto next = [&x](size_t n) {
            x = x * 1664525u + 1013904223u;
            return static_cast<int>((x >> 8) % n);
        };
        auto anyKey = [&] { return pool[static_cast<size_t>(next(pool.size()))]; };
        TempDir dir;
        auto ini = Open(dir / "r.ini", false);
        ini->WriteString("Other", "a", "1");
        // Long enough for the index, which short lists do without.
        auto fill = [&] {
            TStringList* lines = nullptr;
            ini->FindKey("S", "", true, lines);
            for (int i = 0; i < 90; ++i) lines->Add(anyKey() + "=fill");
        };
        fill();
        for (int step = 0; step < 600 && !testing::Test::HasFailure(); ++step) {
            TStringList* lines = nullptr;
            ini->FindKey("S", "", true, lines);
            const int count = lines->Count();
            const std::string key = anyKey();
            std::string value = "v";  // not "v" + text: GCC 12 misreports that at -O3
            value += std::to_string(step);
            int op = next(10);
            if (count > 150 && op < 5) op = 5;  // keep the section around a hundred lines
            switch (op) {
                case 0:
                case 1:
                    if (!key.empty()) ini->WriteString("s", key, value);
                    break;
                case 2:
                    ini->DeleteKey("S", key);
                    break;
                case 3:
                    lines->Insert(next(static_cast<size_t>(count) + 1), key + "=" + value);
                    break;
                case 4:
                    lines->Add(next(4) ? key + "=" + value : "no equals " + key);
                    break;
                case 5:
                    if (count > 0) lines->Delete(next(static_cast<size_t>(count)));
                    break;
                case 6:
                case 7:
                    if (count > 0)
                        lines->SetString(next(static_cast<size_t>(count)),
                                         next(5) ? key + "=" + value : key);
                    break;
                case 8: {
                    TStringList copy = *lines;
                    copy.Add(key + "=copy");
                    for (const auto& k : pool) EXPECT_EQ(copy.IndexOfName(k), ScanForKey(copy, k));
                    break;
                }
                default:
                    if (next(3) == 0) {
                        if (next(2))
                            ini->EraseSection("S");
                        else
                            lines->Clear();
                        if (next(2)) fill();
                    }
                    break;
            }
            ini->FindKey("S", "", true, lines);
            ExpectLookUpsAgree(*ini, "S", pool);
        }
    }
}

TEST(kvIniFile, SortedListKeepsItsNameIndex) {
    const std::vector<std::string> names = {"beta", "Alpha", "ALPHA", "gamma", "Delta", "b", "B"};
    TStringList list;
    for (int i = 0; i < 120; ++i)
        list.Add(names[static_cast<size_t>(i) % names.size()] + std::to_string(i % 5) + "=" +
                 std::to_string(i));
    EXPECT_EQ(list.IndexOfName("ALPHA0"), ScanForKey(list, "ALPHA0"));
    list.SetSorted(true);
    uint32_t x = 99;
    for (int step = 0; step < 300; ++step) {
        x = x * 1664525u + 1013904223u;
        const std::string name = names[(x >> 8) % names.size()] + std::to_string((x >> 4) % 5);
        if ((x >> 20) % 2 && list.Count() > 0)
            list.Delete(static_cast<int>((x >> 12) % static_cast<uint32_t>(list.Count())));
        else
            list.Add(name + "=" + std::to_string(step));
        for (const auto& n : names)
            for (int d = 0; d < 5; ++d) {
                const std::string key = n + std::to_string(d);
                ASSERT_EQ(list.IndexOfName(key), ScanForKey(list, key)) << key << " step " << step;
            }
    }
}

TEST(kvIniFile, LongSectionValuesMergeByFirstName) {
    TempDir dir;
    std::string body = "[S]\r\n";
    for (int i = 0; i < 120; ++i)
        body += "key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    body += "KEY7=late\r\nKey119=last\r\n";
    WriteFile(dir / "v.ini", body);
    auto ini = Open(dir / "v.ini");
    TStringList values;
    values.Add("key20=before");
    ini->ReadSectionValues("s", values);
    ASSERT_EQ(values.Count(), 120);
    EXPECT_EQ(values[0], "key20=20");
    EXPECT_EQ(values[8], "KEY7=late") << "position of the first, spelling of the last";
    EXPECT_EQ(values[119], "Key119=last");
    EXPECT_EQ(ini->ReadString("S", "key7", ""), "7");
}

TEST(kvIniFile, ReadIntegerAndBool) {
    struct Case {
        std::string value;
        int32_t expected;  // 777 is the default
    } cases[] = {
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"1F", 777},
        {"", 777},
        {"-5", -5},
        {"+5", 5},
        {"2147483648", 777},
        {"2147483647", 2147483647},
        {"-2147483648", 777},
        {"$FFFFFFFF", -1},
        {"0xFFFFFFFF", -1},
        {"0x", 777},
        {"0x-1", 777},
        {"$100000000", 777},
        {"12abc", 777},
        {"0", 0},
    };
    // Appending instead of "k" + text: GCC 12 warns wrongly about the latter at -O3.
    auto key = [](size_t i) {
        std::string k = "k";
        k += std::to_string(i);
        return k;
    };
    TempDir dir;
    std::string body = "[N]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i) body += key(i) + "=" + cases[i].value + "\r\n";
    WriteFile(dir / "n.ini", body);
    auto ini = Open(dir / "n.ini");
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ini->ReadInteger("N", key(i), 777), cases[i].expected)
            << "'" << cases[i].value << "'";
    EXPECT_EQ(ini->ReadInteger("N", "missing", 777), 777);
    EXPECT_EQ(ini->ReadInteger("Missing", "k0", 777), 777);

    WriteFile(dir / "b.ini", "[B]\r\ntwo=2\r\nzero=0\r\nword=yes\r\nempty=\r\nhex=0x0\r\n");
    auto b = Open(dir / "b.ini");
    struct BoolCase {
        const char* key;
        bool def, expected;
    } bools[] = {
        {"two", false, true},    {"zero", true, false},     {"word", true, true},
        {"word", false, false},  {"empty", true, true},     {"hex", true, false},
        {"missing", true, true}, {"missing", false, false},
    };
    for (const auto& c : bools)
        EXPECT_EQ(b->ReadBool("B", c.key, c.def), c.expected) << c.key << " default " << c.def;
}

TEST(kvIniFile, ReadIntegerLeavesBlanksToTheConversion) {
    TempDir dir;
    WriteFile(dir / "n.ini", "[N]\r\nsp=  12\r\nhx= 0x10\r\n");
    auto ini = Open(dir / "n.ini", true, AllOff);
    EXPECT_EQ(ini->ReadInteger("N", "sp", 7), 12);
    EXPECT_EQ(ini->ReadInteger("N", "hx", 7), 7) << "0x is recognised only in front";
}

TEST(kvIniFile, SectionReads) {
    TempDir dir;
    WriteFile(dir / "s.ini", "[S]\r\na=1\r\nbare\r\n=e\r\nA=2\r\n[Empty]\r\n[T]\r\nt=1\r\n");
    auto ini = Open(dir / "s.ini", true, AllOff);

    TStringList keys;
    keys.Add("kept");
    ini->ReadSectionKeys("s", keys);
    EXPECT_EQ(Entries(keys), (std::vector<std::string>{"kept", "a", "", "", "A"}));
    ini->ReadSectionKeys("missing", keys);
    EXPECT_EQ(keys.Count(), 5);

    TStringList values;
    values.Add("a=old");
    values.Add("z=9");
    ini->ReadSectionValues("S", values);
    EXPECT_EQ(Entries(values), (std::vector<std::string>{"A=2", "z=9", "bare=", "=e"}));
    ini->ReadSectionValues("missing", values);
    EXPECT_EQ(values.Count(), 4);

    TStringList names;
    names.Add("stale");
    ini->ReadSectionNames(names);
    EXPECT_EQ(Entries(names), (std::vector<std::string>{"S", "Empty", "T"}));
    EXPECT_EQ(names.Objects(2), ini->Sections.SectionLines(2));

    TStringList saved;
    saved.Add("before");
    ini->SaveToStrings(saved);
    EXPECT_EQ(Entries(saved), (std::vector<std::string>{"before", "[S]", "a=1", "bare", "=e", "A=2",
                                                        "", "[T]", "t=1", ""}));
}

TEST(kvIniFile, WriteStringRules) {
    TempDir dir;
    WriteFile(dir / "w.ini", "[S]\r\nkey=value\r\n[T]\r\nt=1\r\n");
    auto ini = Open(dir / "w.ini", false);

    ini->WriteString("s", "KEY", "value");
    EXPECT_EQ(Dump(*ini), "[S]|KEY=value|[T]|t=1") << "the key takes the caller's spelling";
    EXPECT_TRUE(ini->Modified);
    ini->Modified = false;

    ini->WriteString("S", "KEY", "value");
    EXPECT_FALSE(ini->Modified) << "the same line again is no change";
    ini->WriteString("S", "KEY", "Value");
    EXPECT_TRUE(ini->Modified);
    ini->Modified = false;

    ini->WriteString("New", "n", "1");
    EXPECT_TRUE(ini->Modified);
    ini->WriteInteger("New", "i", -42);
    ini->WriteBool("New", "b", true);
    ini->WriteBool("New", "f", false);
    EXPECT_EQ(Dump(*ini), "[S]|KEY=Value|[T]|t=1|[New]|n=1|i=-42|b=1|f=0");
    EXPECT_EQ(ini->ReadString("new", "I", ""), "-42");

    ini->Modified = false;
    ini->WriteString("T", "", "");
    EXPECT_EQ(Dump(*ini), "[S]|KEY=Value|[New]|n=1|i=-42|b=1|f=0") << "empty key erases";
    EXPECT_TRUE(ini->Modified);
    EXPECT_EQ(ReadFile(dir / "w.ini"), "[S]\r\nkey=value\r\n[T]\r\nt=1\r\n") << "nothing written";

    ini->WriteString("", "", "");
    EXPECT_FALSE(ini->Modified);
    EXPECT_EQ(ReadFile(dir / "w.ini"),
              "[S]\r\nKEY=Value\r\n\r\n[New]\r\nn=1\r\ni=-42\r\nb=1\r\nf=0\r\n\r\n");
}

TEST(kvIniFile, DeleteEraseAndSectionValues) {
    TempDir dir;
    WriteFile(dir / "e.ini", "[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n");
    auto ini = Open(dir / "e.ini", false);

    ini->DeleteKey("S", "missing");
    EXPECT_FALSE(ini->Modified);
    ini->DeleteKey("Ghost", "a");
    EXPECT_FALSE(ini->Modified);
    EXPECT_EQ(Dump(*ini), "[S]|a=1|b=2|[T]|c=3|[Ghost]") << "created empty as a side effect";
    ini->DeleteKey("s", "A");
    EXPECT_TRUE(ini->Modified);
    EXPECT_EQ(Dump(*ini), "[S]|b=2|[T]|c=3|[Ghost]");

    ini->Modified = false;
    ini->EraseSection("nothing");
    EXPECT_FALSE(ini->Modified);
    ini->ReadString("T", "c", "");
    ini->EraseSection("t");
    EXPECT_TRUE(ini->Modified);
    EXPECT_EQ(ini->SectionCursor, 0);
    EXPECT_EQ(ini->Sections.LastIndex, 0);
    EXPECT_EQ(Dump(*ini), "[S]|b=2|[Ghost]");

    TStringList source;
    for (const char* s : {"x=1", "b=20", "plain", "=", "y=2"}) source.Add(s);
    ini->WriteSectionValues("S", source);
    EXPECT_EQ(Dump(*ini), "[Ghost]|[S]|y=2") << "an empty name erases the section on the way";
    ini.reset();
    EXPECT_EQ(ReadFile(dir / "e.ini"), "[S]\r\ny=2\r\n\r\n") << "empty sections are not written";
}

TEST(kvIniFile, RegeneratedFileHasNoTrailingBytes) {
    TempDir dir;
    const std::string longTail(4000, ';');
    WriteFile(dir / "r.ini",
              "; header comment\r\npre=1\r\n[S]\r\na = 1\r\nb=\"2\"\r\nnoequals\r\n"
              "[E]\r\n; only a comment\r\n[T]\r\nc=3\r\n" +
                  longTail + "\r\n");
    auto ini = Open(dir / "r.ini", false);
    ini->WriteString("T", "c", "4");
    ini->WriteString("T", "c", "3");
    EXPECT_TRUE(ini->Modified);
    ini->UpdateFile();
    const std::string expected = "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nc=3\r\n\r\n";
    EXPECT_EQ(ReadFile(dir / "r.ini"), expected);
    ini.reset();
    EXPECT_EQ(ReadFile(dir / "r.ini"), expected) << "nothing more at destruction";
}

TEST(kvIniFile, QuotedBlanksSurviveOneRewriteOnly) {
    TempDir dir;
    WriteFile(dir / "q.ini", "[S]\r\nv=\"  padded  \"\r\n");
    auto ini = Open(dir / "q.ini", false);
    EXPECT_EQ(ini->ReadString("S", "v", ""), "  padded  ");
    ini->WriteString("S", "w", "1");
    ini.reset();
    EXPECT_EQ(ReadFile(dir / "q.ini"), "[S]\r\nv=  padded  \r\nw=1\r\n\r\n");
    EXPECT_EQ(Open(dir / "q.ini")->ReadString("S", "v", ""), "padded");
}

TEST(kvIniFile, UnmodifiedAndReadOnlyObjectsNeverWrite) {
    TempDir dir;
    const std::string original = "; keep me\r\n[S]\r\na = 1\n";
    WriteFile(dir / "u.ini", original);
    Open(dir / "u.ini", false).reset();
    EXPECT_EQ(ReadFile(dir / "u.ini"), original);

    auto ro = Open(dir / "u.ini", true);
    ro->WriteString("S", "a", "2");
    EXPECT_EQ(ro->ReadString("S", "a", ""), "2") << "in-memory change";
    ro->WriteString("", "", "");
    ro.reset();
    EXPECT_EQ(ReadFile(dir / "u.ini"), original);

    auto missing = Open(dir / "none.ini", true);
    EXPECT_EQ(missing->Sections.Count(), 0);
    missing->WriteString("S", "k", "v");
    missing->UpdateFile();
    missing.reset();
    EXPECT_FALSE(Exists(dir / "none.ini"));
}

TEST(kvIniFile, WriteBackCreatesDirectoryChain) {
    TempDir dir;
    const std::string name = dir.Path() + "a" + TestUtil::Sep() + "b" + TestUtil::Sep() + "c" +
                             TestUtil::Sep() + "x.ini";
    auto ini = Open(name, false);
    EXPECT_EQ(ini->HandleState, TkvIniFile::THandleState::None);
    EXPECT_FALSE(Exists(dir / "a")) << "nothing before the write-back";
    ini->WriteString("S", "k", "v");
    ini.reset();
    EXPECT_EQ(ReadFile(name), "[S]\r\nk=v\r\n\r\n");
}

TEST(kvIniFile, FailedCreateIsNotRetried) {
    TempDir dir;
    WriteFile(dir / "blocker", "a file where a directory is needed");
    const std::string name = dir.Path() + "blocker" + TestUtil::Sep() + "x.ini";
    auto ini = Open(name, false);
    ini->WriteString("S", "k", "v");
    ini->UpdateFile();
    EXPECT_EQ(ini->HandleState, TkvIniFile::THandleState::Failed);
    EXPECT_FALSE(ini->Modified) << "the change is lost, not kept pending";

    std::filesystem::remove(std::filesystem::path(dir / "blocker"));
    ini->WriteString("S", "k", "w");
    ini->UpdateFile();
    ini.reset();
    EXPECT_FALSE(Exists(name));
    EXPECT_FALSE(Exists(dir / "blocker"));
}

TEST(kvIniFile, SecondWriterIsKeptOut) {
    TempDir dir;
    WriteFile(dir / "lock.ini", "[S]\r\nk=1\r\n");
    auto writer = Open(dir / "lock.ini", false);
    EXPECT_EQ(writer->HandleState, TkvIniFile::THandleState::Open);

    // A spelling that differs in case only names the same file on both platforms.
    const std::string other = dir / "LOCK.INI";
    try {
        Open(other, false);
        ADD_FAILURE() << "a second writer was let in";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + other);
    }
    EXPECT_EQ(Open(dir / "lock.ini", true)->ReadString("S", "k", ""), "1") << "readers allowed";

    writer.reset();
    EXPECT_EQ(Open(other, false)->ReadString("S", "k", ""), "1") << "free again";
}

TEST(kvIniFile, ReaderHoldsNoFile) {
    TempDir dir;
    WriteFile(dir / "r.ini", "[S]\r\nk=1\r\n");
    auto reader = Open(dir / "r.ini", true);
    EXPECT_EQ(reader->HandleState, TkvIniFile::THandleState::None);
    auto writer = Open(dir / "r.ini", false);
    writer->WriteString("S", "k", "2");
    writer.reset();
    EXPECT_EQ(reader->ReadString("S", "k", ""), "1") << "loaded once";
    EXPECT_EQ(ReadFile(dir / "r.ini"), "[S]\r\nk=2\r\n\r\n");
}

TEST(kvIniFile, NameResolution) {
    const std::string bare = "kest_ini_test_no_such_file.ini";
    auto ini = Open(bare, true);
    EXPECT_EQ(ini->FileName, AddBackslash(GetWindowsDir()) + bare);
    EXPECT_EQ(ini->Sections.Count(), 0);

    TempDir dir;
    auto full = Open(dir / "x.ini", true);
    EXPECT_EQ(full->FileName, dir / "x.ini");

    auto unnamed = Open("", false);
    EXPECT_EQ(unnamed->FileName, AddBackslash(GetWindowsDir()));
    unnamed->WriteString("S", "k", "v");
    unnamed->WriteString("", "", "");
    EXPECT_EQ(unnamed->HandleState, TkvIniFile::THandleState::Failed) << "a directory, no file";
}

TEST(kvIniFile, SetFileNameFlushesAndSwitches) {
    TempDir dir;
    WriteFile(dir / "one.ini", "[S]\r\nk=1\r\n");
    WriteFile(dir / "two.ini", "[S]\r\nk=2\r\n");
    auto ini = Open(dir / "one.ini", false);
    ini->WriteString("S", "k", "changed");
    ini->SetFileName(dir / "two.ini");
    EXPECT_EQ(ReadFile(dir / "one.ini"), "[S]\r\nk=changed\r\n\r\n");
    EXPECT_FALSE(ini->Modified);
    EXPECT_EQ(ini->ReadString("S", "k", ""), "2");
    Open(dir / "one.ini", false);  // the first file is no longer held
}

TEST(kvIniFile, CursorsFollowTheWrappingSearch) {
    TempDir dir;
    WriteFile(dir / "c.ini", "[A]\r\na=1\r\n[B]\r\nb=1\r\n[C]\r\nc=1\r\n");
    auto ini = Open(dir / "c.ini", false);
    EXPECT_EQ(ini->SectionCursor, 0);
    EXPECT_EQ(ini->ReadString("b", "b", ""), "1");
    EXPECT_EQ(ini->SectionCursor, 1);
    EXPECT_EQ(ini->ReadString("zzz", "b", "def"), "def");
    EXPECT_EQ(ini->SectionCursor, 0) << "left on the entry before the start";
    TStringList* lines = nullptr;
    EXPECT_EQ(ini->FindKey("C", "C", false, lines), 0);
    EXPECT_EQ(ini->SectionCursor, 2);
    EXPECT_EQ(lines, ini->Sections.SectionLines(2));
    EXPECT_EQ(ini->FindKey("New", "k", true, lines), -1);
    EXPECT_EQ(ini->SectionCursor, 3);
    EXPECT_EQ(lines, ini->Sections.SectionLines(3));

    EXPECT_EQ(ini->Sections.IndexOf("c"), 2);
    EXPECT_EQ(ini->Sections.LastIndex, 2);
    EXPECT_EQ(ini->Sections.IndexOf("missing"), -1);
    EXPECT_EQ(ini->Sections.LastIndex, 2);
}

TEST(kvIniFile, SectionListFindsFromStartAndDropsLaterDuplicates) {
    TSectionList list;
    std::vector<std::unique_ptr<TStringList>> owned;
    for (const char* name : {"x", "Y", "X", "z", "y", "x"}) {
        owned.push_back(std::make_unique<TStringList>());
        list.Add(name, owned.back().get());
    }
    struct Case {
        std::string name;
        int start, found;
    } cases[] = {{"X", 0, 0}, {"x", 1, 2}, {"x", 3, 5},  {"y", 5, 1},
                 {"Y", 2, 4}, {"z", 4, 3}, {"w", 2, -1}, {"x", 99, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(list.FindFrom(c.name, c.start), c.found) << c.name << " from " << c.start;

    // The dropped lists are released by RemoveDuplicates; hand them over.
    for (int i : {2, 4, 5}) owned[static_cast<size_t>(i)].release();
    EXPECT_TRUE(list.RemoveDuplicates());
    EXPECT_EQ(Entries(list), (std::vector<std::string>{"x", "Y", "z"}));
    EXPECT_EQ(list.SectionLines(1), owned[1].get());
    EXPECT_EQ(list.SectionLines(2), owned[3].get());
    EXPECT_FALSE(list.RemoveDuplicates());
    for (int start = 0; start < 3; ++start) {
        EXPECT_EQ(list.FindFrom("X", start), 0);
        EXPECT_EQ(list.FindFrom("y", start), 1);
        EXPECT_EQ(list.FindFrom("Z", start), 2);
        EXPECT_EQ(list.FindFrom("w", start), -1);
    }
}

TEST(kvIniFile, ManySectionsStayFindableThroughChanges) {
    TempDir dir;
    auto ini = Open(dir / "many.ini", false);
    const int count = 300;
    auto name = [](int i) { return (i % 2 ? "sec" : "SEC") + std::to_string(i); };
    for (int i = 0; i < count; ++i) ini->WriteInteger(name(i), "v", i);
    for (int i = 0; i < count; i += 3) ini->EraseSection(name(i));
    for (int i = 1; i < count; i += 7) ini->WriteInteger(name(i) + "b", "v", -i);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(name(i));
        EXPECT_EQ(ini->ReadInteger("Sec" + std::to_string(i), "V", -1), i % 3 ? i : -1);
        if (i % 7 == 1) {
            EXPECT_EQ(ini->ReadInteger(name(i) + "B", "v", 1), -i);
        }
    }
    TStringList names;
    ini->ReadSectionNames(names);
    EXPECT_EQ(names.Count(), count - (count + 2) / 3 + (count + 5) / 7);
    EXPECT_EQ(names[0], name(1));
}

}  // namespace
