// The flat cfg map: its text, typed values, comments, structure queries and
// save format.
#include "cfg/OCfgMap.h"

#include "cfg/CfgFiles.h"
#include "core/FileLimits.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

using cfgtest::ReadFile;
using cfgtest::TempPath;
using Strings = std::vector<std::string>;

TEST(CfgMapParse, SectionsValuesAndComments)
{
    OCfgMap map;
    ASSERT_EQ(map.LoadFromText("a = {\nx=1 // one\n}"), 0);
    EXPECT_EQ(map.failed, 0u);
    ASSERT_EQ(map.entries.size(), 1u);
    const OCfgMapEntry& e = map.entries.at("a.x");
    EXPECT_EQ(e.value, "1");
    EXPECT_EQ(e.comment, " one");
    EXPECT_EQ(e.order, 0u);
    EXPECT_EQ(e.kind, 2u);
    ASSERT_EQ(map.sections.size(), 1u);
    EXPECT_EQ(map.sections[0], (std::pair<std::string, std::string>{"a", ""}));
    EXPECT_EQ(map.keys, Strings{"a.x"});
    EXPECT_EQ(map.text, "a = {\nx=1 // one\n}\n");

    // The comment of a line that stores nothing waits for the next one; a
    // comment of the line's own is then not taken.
    OCfgMap pending;
    ASSERT_EQ(pending.LoadFromText("s = { // sec\n v=1\n} // after\nw=2 // own\nz=3 //\n"), 0);
    EXPECT_EQ(pending.sections[0].second, " sec");
    EXPECT_EQ(pending.entries["s.v"].comment, "");
    EXPECT_EQ(pending.entries["w"].comment, " after");
    EXPECT_EQ(pending.entries["z"].comment, "");
    EXPECT_EQ(pending.entries["z"].order, 2u);

    // "//" inside a value after its name gives the rest of the line too.
    OCfgMap url;
    ASSERT_EQ(url.LoadFromText("u = http://example.com/x\n"), 0);
    EXPECT_STREQ(url.GetRaw("u"), "http://example.com/x");
    EXPECT_STREQ(url.GetComment("u"), "example.com/x");
}

TEST(CfgMapParse, ValueForms)
{
    OCfgMap map;
    const char* text = "q = \"say \\\"hi\\\" \\\\\" // c\n"
                       "e=\"\\\\\"\n"
                       "arr = [1, 2\n 3]\n"
                       "grid = { // rows\n [a,b] x // not [kept]\n [c,d,e] }\n"
                       "s = { bare=v empty=}\n";
    ASSERT_EQ(map.LoadFromText(text), 0) << map.text;
    EXPECT_STREQ(map.GetRaw("q"), "\"say \\\"hi\\\" \\\\\"");
    EXPECT_STREQ(map.GetComment("q"), " c");
    EXPECT_STREQ(map.GetRaw("e"), "\"\\\\\"");
    EXPECT_STREQ(map.GetRaw("arr"), "[1, 2\n 3]");
    EXPECT_STREQ(map.GetRaw("grid"), "{[a,b][c,d,e]}");
    EXPECT_EQ(map.entries["grid"].kind, 1u);
    EXPECT_STREQ(map.GetRaw("s.bare"), "v");
    EXPECT_STREQ(map.GetRaw("s.empty"), "");
    EXPECT_EQ(map.keys, (Strings{"q", "e", "arr", "grid", "s.bare", "s.empty"}));

    // A key read again replaces its entry whole but is listed twice.
    OCfgMap twice;
    ASSERT_EQ(twice.LoadFromText("k=1 // first\nk=2\n"), 0);
    EXPECT_STREQ(twice.GetRaw("k"), "2");
    EXPECT_STREQ(twice.GetComment("k"), "");
    EXPECT_EQ(twice.entries["k"].order, 1u);
    EXPECT_EQ(twice.keys, (Strings{"k", "k"}));
}

TEST(CfgMapParse, EndsAndFailures)
{
    OCfgMap map;
    // A statement beginning with '=' ends the text with success.
    ASSERT_EQ(map.LoadFromText("a=1\n= b\nc=2\n"), 0);
    EXPECT_EQ(map.keys, Strings{"a"});

    EXPECT_EQ(map.LoadFromText("}\n"), 1);
    EXPECT_EQ(map.failed, 1u);

    // What was stored before a failure stays.
    EXPECT_EQ(map.LoadFromText("a=1\nb 2\n"), 1);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_STREQ(map.GetRaw("a"), "1");

    for (const char* bad : {"a=\"open\n", "a=[1,2\n", "a={[x]\n", "a=\n", "a=", "x = y = z"})
    {
        OCfgMap m;
        EXPECT_EQ(m.LoadFromText(bad), bad[0] == 'x' ? 0 : 1) << bad;
    }

    // A section left open is no error; an empty text succeeds.
    EXPECT_EQ(map.LoadFromText("s = {\n v=1\n"), 0);
    EXPECT_STREQ(map.GetRaw("s.v"), "1");
    EXPECT_EQ(map.LoadFromText(""), 0);
    EXPECT_EQ(map.failed, 0u);
    EXPECT_TRUE(map.entries.empty());

    // A name that runs into the very end of the text fails without setting
    // failed; loaders always end the text with a line feed.
    OCfgMap raw;
    raw.failed = 0;
    raw.text = "a=1 abc";
    EXPECT_EQ(raw.Parse(), 1);
    EXPECT_EQ(raw.failed, 0u);
    EXPECT_STREQ(raw.GetRaw("a"), "1");
}

TEST(CfgMapParse, LoadFromFile)
{
    const std::string path = TempPath("cfgmap_load");
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("a = {\r\n\tb=2\r\n}", f);
    std::fclose(f);
    OCfgMap map;
    EXPECT_EQ(map.Load(path.c_str()), 0);
    EXPECT_EQ(map.GetInt("a.b", 0), 2);
    EXPECT_EQ(map.text, "a = {\r\n\tb=2\r\n}\n");
    std::remove(path.c_str());

    EXPECT_EQ(map.Load((path + "-missing").c_str()), 1);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_TRUE(map.entries.empty());

    // A path that opens but cannot be read is no empty text.
    ASSERT_EQ(map.LoadFromText("k=1\n"), 0);
    EXPECT_EQ(map.Load(::testing::TempDir().c_str()), 1);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_TRUE(map.entries.empty());

    // Nor is a file past the limit, which is not read on to its end.
    std::fclose(std::fopen(path.c_str(), "wb"));
    ASSERT_EQ(::truncate(path.c_str(), kMaxWholeFileLength + 1), 0);
    EXPECT_EQ(map.Load(path.c_str()), 1);
    EXPECT_TRUE(map.text.empty());
    std::remove(path.c_str());
}

TEST(CfgMapValues, Numbers)
{
    OCfgMap map;
    map.SetInt("h", 255, "hex", true);
    map.SetInt("d", 255, nullptr, false);
    map.SetInt("n", -1, "", true);
    EXPECT_STREQ(map.GetRaw("h"), "0xff");
    EXPECT_STREQ(map.GetComment("h"), "hex");
    EXPECT_STREQ(map.GetRaw("d"), "255");
    EXPECT_STREQ(map.GetRaw("n"), "0xffffffff");
    EXPECT_EQ(map.GetInt("h", 0), 255);
    EXPECT_EQ(map.GetInt("d", 0), 255);
    EXPECT_EQ(map.GetInt("n", 0), -1);
    // A prefix without a hex digit converts nothing and leaves the default.
    map.SetRaw("d", "0x", nullptr);
    EXPECT_EQ(map.GetInt("d", 7), 7);
    map.SetRaw("d", "0xg1", nullptr);
    EXPECT_EQ(map.GetInt("d", 7), 7);
    map.SetRaw("d", "255", nullptr);
    EXPECT_EQ(map.failed, 0u);
    EXPECT_EQ(map.GetInt("missing", 7), 7);
    EXPECT_EQ(map.failed, 1u);

    map.SetFloat("f", 1.5f, nullptr);
    EXPECT_STREQ(map.GetRaw("f"), "1.500000");
    EXPECT_FLOAT_EQ(map.GetFloat("f", 0.0f), 1.5f);
    EXPECT_FLOAT_EQ(map.GetFloat("missing", 2.5f), 2.5f);

    const int ints[] = {1, 2, 3};
    map.SetIntArray("ia", ints, 3, nullptr, ',');
    EXPECT_STREQ(map.GetRaw("ia"), "[1,2,3]");
    map.SetIntArray("none", ints, 0, nullptr, ',');
    EXPECT_STREQ(map.GetRaw("none"), "[]");
    const float floats[] = {0.5f, -2.0f};
    map.SetFloatArray("fa", floats, 2, nullptr, ' ');
    EXPECT_STREQ(map.GetRaw("fa"), "[0.500000 -2.000000]");
}

TEST(CfgMapValues, NumberArrays)
{
    OCfgMap map;
    ASSERT_EQ(map.LoadFromText("a=[1,,2]\nb=[,,3,\t4,]\nc=[]\nd=[0.5;1.5]\ne=x\n"), 0);
    int count = -1;
    int* a = map.GetIntArray("a", &count, ',');
    ASSERT_EQ(count, 2);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 2);
    delete[] a;

    int* b = map.GetIntArray("b", &count, ',');
    ASSERT_EQ(count, 2);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[1], 4);
    delete[] b;

    int* c = map.GetIntArray("c", &count, ',');
    EXPECT_NE(c, nullptr);
    EXPECT_EQ(count, 0);
    delete[] c;

    float* d = map.GetFloatArray("d", &count, ';');
    ASSERT_EQ(count, 2);
    EXPECT_FLOAT_EQ(d[0], 0.5f);
    EXPECT_FLOAT_EQ(d[1], 1.5f);
    delete[] d;

    // A one-byte value loses both its bytes.
    int* e = map.GetIntArray("e", &count, ',');
    EXPECT_EQ(count, 0);
    delete[] e;

    count = 5;
    EXPECT_EQ(map.GetIntArray("missing", &count, ','), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(map.failed, 1u);
    count = 5;
    EXPECT_EQ(map.GetFloatArray("missing", &count, ','), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(CfgMapValues, StringsAndEscapes)
{
    OCfgMap map;
    const std::string original("tab\there \"q\" nl\n back\\slash nul", 31);
    std::string withNul = original;
    withNul += '\0';
    withNul += "end";
    map.SetString("s", withNul, "c");
    EXPECT_EQ(map.entries["s"].value, "\"tab\\there \\\"q\\\" nl\\n back\\\\slash nul\\0end\"");
    std::string out;
    EXPECT_EQ(map.GetString(&out, "s", "d"), withNul);
    EXPECT_EQ(out, withNul);
    char* c = map.GetString("s", "d");
    EXPECT_EQ(std::string(c), original); // the NUL ends the C string
    delete[] c;

    // Unknown escapes stay as they are; the outer bytes go whatever they are.
    ASSERT_EQ(map.LoadFromText("u=\"a\\qb\\\\\"\nv=x\nw='ab'\n"), 0);
    EXPECT_EQ(map.GetString(nullptr, "u", ""), "a\\qb\\");
    map.SetRaw("u", "\"x\\\"", nullptr);
    EXPECT_EQ(map.GetString(nullptr, "u", ""), "x\\");
    EXPECT_EQ(map.GetString(nullptr, "v", "d"), "");
    EXPECT_EQ(map.GetString(nullptr, "w", "d"), "ab");

    EXPECT_EQ(map.GetString(nullptr, "missing", "dflt"), "dflt");
    EXPECT_EQ(map.failed, 1u);
    char* d = map.GetString("missing", "dflt");
    EXPECT_STREQ(d, "dflt");
    delete[] d;
    char* e = map.GetString("missing", nullptr);
    EXPECT_STREQ(e, "");
    delete[] e;
}

TEST(CfgMapValues, StringArrays)
{
    OCfgMap map;
    const char rows[] = "abcde\0";
    map.SetStringArray("g", rows, 3, 2, nullptr, ',');
    EXPECT_EQ(map.entries["g"].value, std::string("{[a,b,c][d,e,\0]}", 16));

    ASSERT_EQ(map.LoadFromText("grid = { [a,b] [c,d,e] // x\n [] }\n"), 0);
    int width = 0;
    int count = 0;
    char* block = map.GetStringArray("grid", &width, &count, ',', nullptr);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::string(block, 10), std::string("ab,cde,,,\0", 10));
    delete[] block;

    count = 7;
    char* dflt = map.GetStringArray("missing", &width, &count, ',', "xyz");
    EXPECT_STREQ(dflt, "xyz");
    EXPECT_EQ(width, 4);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(map.failed, 1u);
    delete[] dflt;
    char* none = map.GetStringArray("missing", &width, &count, ',', nullptr);
    EXPECT_STREQ(none, "");
    EXPECT_EQ(width, 1);
    EXPECT_EQ(count, 1);
    delete[] none;
}

TEST(CfgMapValues, RawAndComments)
{
    OCfgMap map;
    ASSERT_EQ(map.LoadFromText("s = { // top\n k=1 // kc\n}\n"), 0);
    EXPECT_STREQ(map.GetSectionComment("s"), " top");
    EXPECT_EQ(map.GetSectionComment("t"), nullptr);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_EQ(map.GetSectionComment(nullptr), nullptr);

    map.SetRaw("s.k", "[9]", "new");
    EXPECT_EQ(map.failed, 0u);
    EXPECT_STREQ(map.GetRaw("s.k"), "[9]");
    EXPECT_STREQ(map.GetComment("s.k"), "new");
    map.SetRaw("s.absent", "1", nullptr);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_EQ(map.GetRaw("s.absent"), nullptr);
    EXPECT_EQ(map.GetComment("s.absent"), nullptr);

    // Setters leave failed and the read lists alone.
    map.SetInt("fresh", 1, nullptr, false);
    EXPECT_EQ(map.failed, 1u);
    EXPECT_EQ(map.keys, Strings{"s.k"});
}

TEST(CfgMapStructure, Queries)
{
    OCfgMap map;
    ASSERT_EQ(map.LoadFromText("a = {\n b = {\n x=1\n }\n c = {\n }\n y=2\n z=3\n}\nab=4\nd = {\n}\n"), 0);
    EXPECT_TRUE(map.HasSection("a"));
    EXPECT_TRUE(map.HasSection("a."));
    EXPECT_TRUE(map.HasSection("a.b"));
    EXPECT_FALSE(map.HasSection("a.c")); // no key lies in it
    EXPECT_FALSE(map.HasSection("ab"));
    EXPECT_FALSE(map.HasSection(""));
    EXPECT_FALSE(map.HasSection(nullptr));

    EXPECT_EQ(map.GetSubsections(""), (Strings{"a", "d"}));
    EXPECT_EQ(map.GetSubsections("a"), (Strings{"b", "c"}));
    EXPECT_EQ(map.GetSubsections("a.b"), Strings{});
    EXPECT_EQ(map.GetKeys(""), Strings{"ab"});
    EXPECT_EQ(map.GetKeys("a"), (Strings{"y", "z"}));
    EXPECT_EQ(map.GetKeys("a.b"), Strings{"x"});

    OCfgMap copy(map);
    EXPECT_EQ(copy.entries.size(), map.entries.size());
    EXPECT_EQ(copy.sections, map.sections);
    EXPECT_EQ(copy.keys, map.keys);
    EXPECT_EQ(copy.text, map.text);
    EXPECT_GE(copy.keys.capacity(), 100u);
}

TEST(CfgMapSave, FormatIsByteExact)
{
    OCfgMap map;
    map.SetInt("a.b.x", 1, " one", false);
    map.SetInt("a.b.y", 2, nullptr, false);
    map.SetInt("a.c", 3, nullptr, false);
    map.SetInt("a.d.e.f", 4, nullptr, false);
    map.SetString("z", "q", "");
    map.SetInt("top", 5, nullptr, false);
    const std::string expected = "a = {\n"
                                 "\tb = {\n"
                                 "\t\tx=1            // one\n"
                                 "\t\ty=2\n"
                                 "\t}\n"
                                 "\tc=3\n"
                                 "\td = {\n"
                                 "\t\te = {\n"
                                 "\t\t\tf=4\n"
                                 "\t\t}\n"
                                 "\t}\n"
                                 "}\n"
                                 "top=5\n"
                                 "z=\"q\"\n";
    map.failed = 1;
    std::string out;
    EXPECT_EQ(map.SaveToString(&out), expected);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(map.failed, 0u);

    const std::string path = TempPath("cfgmap_save");
    EXPECT_EQ(map.Save(path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), expected);

    // The saved text reads back into the same entries.
    OCfgMap back;
    ASSERT_EQ(back.Load(path.c_str()), 0);
    ASSERT_EQ(back.entries.size(), map.entries.size());
    for (const auto& [key, entry] : map.entries)
    {
        EXPECT_EQ(back.entries[key].value, entry.value) << key;
        EXPECT_EQ(back.entries[key].comment, entry.comment) << key;
    }

    OCfgMap empty;
    EXPECT_EQ(empty.SaveToString(nullptr), "");
    EXPECT_EQ(empty.Save(path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), "");
    std::remove(path.c_str());

    EXPECT_EQ(map.Save((TempPath("no_dir") + "/x").c_str()), 1);
    EXPECT_EQ(map.failed, 1u);
}
