// Writing trees back to text (byte-exact, and read back into the same tree)
// and the editing operations.
#include "cfg/CfgTestUtil.h"

#include "cfg/CfgFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

using cfgtest::ParseText;
using cfgtest::ReadFile;
using cfgtest::TempPath;
using cfgtest::Values;
using Strings = std::vector<std::string>;

namespace
{

OCfgObject Tree(const std::string& text)
{
    OCfgObject node;
    EXPECT_EQ(ParseText(node, text).result, 1) << text;
    return node;
}

// a = 1, 2; b = "x y"; o { c = d }
OCfgObject SampleTree()
{
    OCfgObject node;
    node.AddParam("a", "1");
    node.AddParam("a", "2");
    node.AddParam("b", "x y");
    node.GetOrAddObject("o")->AddParam("c", "d");
    return node;
}

std::string Written(const OCfgObject& node, int width = 0, int level = 0)
{
    std::ostringstream out;
    EXPECT_EQ(node.WriteToStream(out, width, level), 1);
    return out.str();
}

std::string Saved(const OCfgObject& node, int width, int level)
{
    FILE* file = cfgtest::TempFile();
    node.SaveToFile(nullptr, width, level, file);
    std::rewind(file);
    return cfgtest::ReadAndClose(file);
}

} // namespace

TEST(CfgWrite, StreamFormIsByteExact)
{
    OCfgObject node = SampleTree();
    EXPECT_EQ(Written(node, 2, 0), "a=[1, 2]\nb=\"x y\"\no = {\n  c=d\n}\n");
    EXPECT_EQ(Written(node, 3, 1), "   a=[1, 2]\n   b=\"x y\"\n   o = {\n      c=d\n   }\n");
    EXPECT_EQ(Written(node, -2, 1), "a=[1, 2]\nb=\"x y\"\no = {\nc=d\n}\n");

    // Names in byte order, parameters before objects, same-named objects in
    // the order read, empty texts and odd bytes quoted.
    OCfgObject order = Tree("z 1 \"\xE9\" 2 B 3 y { k 1 } x { k 2 } y { k '' m [a ''] }");
    EXPECT_EQ(Written(order), "B=3\nz=1\n\xE9=2\nx = {\nk=2\n}\ny = {\nk=1\n}\ny = {\nm=[a, \"\"]\n}\n");
}

TEST(CfgWrite, PlainTokens)
{
    for (const char* plain : {"a", "0", "._-+*/!?^", "a'b", "\x81\xFF", "//x"})
    {
        EXPECT_TRUE(OCfgObject::IsPlainToken(plain)) << plain;
    }
    for (const char* quoted : {"", "'a", "a b", "a#", "\x80", "a{", "a=b", "a,b", "a\"", "@"})
    {
        EXPECT_FALSE(OCfgObject::IsPlainToken(quoted)) << quoted;
    }
    EXPECT_FALSE(OCfgObject::IsPlainToken(nullptr));
}

TEST(CfgWrite, SaveToBuffer)
{
    OCfgObject empty;
    char* sentinel = reinterpret_cast<char*>(&empty);
    char* buffer = sentinel;
    int length = -1;
    EXPECT_EQ(empty.SaveToBuffer(&buffer, &length), 0);
    EXPECT_EQ(buffer, sentinel);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(empty.SaveToBuffer(nullptr, &length), 0);
    EXPECT_EQ(empty.SaveToBuffer(&buffer, nullptr), 0);

    OCfgObject node = SampleTree();
    ASSERT_EQ(node.SaveToBuffer(&buffer, &length), 1);
    const std::string expected = "a=[1, 2]\nb=\"x y\"\no = {\nc=d\n}\n";
    ASSERT_EQ(length, static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), expected);
    delete[] buffer;
}

TEST(CfgWrite, FileFormIsByteExact)
{
    OCfgObject node = SampleTree();
    EXPECT_EQ(Saved(node, 2, 0), "a = [1, 2]\nb = \"x y\"\no = {\n  c = d\n}\n");
    EXPECT_EQ(Saved(node, 4, 1), "    a = [1, 2]\n    b = \"x y\"\n    o = {\n        c = d\n    }\n");
    EXPECT_EQ(Saved(node, -4, 1), "a = [1, 2]\nb = \"x y\"\no = {\nc = d\n}\n");

    // By path: opened, written whole, closed.
    const std::string path = TempPath("cfg_save");
    node.SaveToFile(path.c_str(), 1, 0, nullptr);
    EXPECT_EQ(ReadFile(path), "a = [1, 2]\nb = \"x y\"\no = {\n c = d\n}\n");
    std::remove(path.c_str());

    // A passed file without a path stays open for the caller.
    FILE* file = cfgtest::TempFile();
    node.SaveToFile(nullptr, 0, 0, file);
    EXPECT_EQ(std::fputs("tail\n", file), 1);
    std::fclose(file);
}

TEST(CfgWrite, SaveToUnopenablePathWritesNothing)
{
    OCfgObject ok = Tree("a 1");
    ASSERT_EQ(OCfgObject::GetLastError(), 0u);
    const std::string path = TempPath("no_such_dir") + "/x.cfg";
    ok.SaveToFile(path.c_str(), 2, 0, nullptr);
    EXPECT_EQ(OCfgObject::GetLastError(), 1u);
    EXPECT_EQ(ReadFile(path), "<missing>");
}

TEST(CfgWrite, ListedRoundTripExceptions)
{
    // A double quote inside ends the quoted text early.
    OCfgObject quoted;
    quoted.AddParam("q", "say \"hi\" now");
    OCfgObject back;
    ASSERT_EQ(ParseText(back, Written(quoted)).result, 1);
    EXPECT_EQ(Values(back, "q"), Strings{"say "});

    // A bare value starting like a comment takes the rest of its line.
    OCfgObject comment;
    comment.AddParam("c", "//x");
    OCfgObject back2;
    ASSERT_EQ(ParseText(back2, Written(comment)).result, 1);
    EXPECT_TRUE(cfgtest::IsEmptyNode(back2));

    OCfgObject node;
    node.AddParam("empty", "");
    node.AddParam("dotted.name", "1");
    node.GetOrAddObject("hollow");
    node.GetOrAddObject("kept")->AddParam("e", "");
    const std::string text = Written(node);
    EXPECT_EQ(text, "dotted.name=1\nempty=\"\"\nhollow = {\n}\nkept = {\ne=\"\"\n}\n");
    OCfgObject again;
    ASSERT_EQ(ParseText(again, text).result, 1) << text;
    EXPECT_FALSE(again.params.count("empty"));
    EXPECT_FALSE(again.objects.count("hollow"));
    EXPECT_EQ(Values(again, "dotted.name"), Strings{"1"});
    EXPECT_FALSE(again.IsParam("dotted.name"));
    // An object that only becomes empty on reading is kept, empty.
    ASSERT_TRUE(again.IsObject("kept"));
    EXPECT_TRUE(cfgtest::IsEmptyNode(again.objects["kept"][0]));
}

namespace
{

class TreeMaker
{
public:
    explicit TreeMaker(u32 seed) : m_rng(seed) {}

    OCfgObject Make(int depth)
    {
        OCfgObject node;
        Fill(node, depth, false);
        return node;
    }

private:
    std::mt19937 m_rng;

    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<u32>(n)); }

    std::string Token(bool insideObject)
    {
        static const char plain[] = "abcXYZ019._-+*/!?^'\xE9\xFF";
        static const char odd[] = " \t\n#;,=:[]@\x80{}";
        for (;;)
        {
            std::string s;
            int n = Pick(7);
            for (int i = 0; i < n; ++i)
            {
                s += Pick(5) == 0 ? odd[Pick(sizeof(odd) - 1)] : plain[Pick(sizeof(plain) - 1)];
            }
            if (!cfgtest::TokenHazard(s.c_str(), insideObject))
            {
                return s;
            }
        }
    }

    void Fill(OCfgObject& node, int depth, bool insideObject)
    {
        int params = Pick(5);
        for (int i = 0; i < params; ++i)
        {
            std::string name = Token(insideObject);
            int values = 1 + Pick(3);
            for (int v = 0; v < values; ++v)
            {
                node.AddParam(name.c_str(), Token(insideObject).c_str());
            }
        }
        int objects = depth > 0 ? Pick(4) : 0;
        for (int i = 0; i < objects; ++i)
        {
            std::vector<OCfgObject>& list = node.objects[Token(insideObject)];
            list.emplace_back();
            Fill(list.back(), depth - 1, true);
        }
    }
};

} // namespace

TEST(CfgWrite, RandomTreesReadBackTheSame)
{
    for (u32 seed = 1; seed <= 400; ++seed)
    {
        TreeMaker maker(seed);
        OCfgObject tree = maker.Make(4);
        ASSERT_FALSE(cfgtest::HasRoundTripHazard(tree));
        OCfgObject expected = cfgtest::ExpectedAfterRoundTrip(tree);

        for (int form = 0; form < 2; ++form)
        {
            std::string text = form == 0 ? Written(tree) : Saved(tree, 2, 0);
            if (text.empty())
            {
                EXPECT_TRUE(cfgtest::IsEmptyNode(expected));
                continue;
            }
            OCfgObject back;
            auto p = ParseText(back, text);
            ASSERT_EQ(p.result, 1) << "seed " << seed << " error " << p.error << "\n" << text;
            std::string where;
            EXPECT_TRUE(cfgtest::SameTree(expected, back, &where))
                << "seed " << seed << " at " << where << "\n"
                << text;
        }
    }
}

TEST(CfgEdit, GetOrAddAndRemove)
{
    OCfgObject node = Tree("p [1 2] o { a 1 } o { a 2 }");
    EXPECT_STREQ(node.GetOrAddParam("p")->text, "1");
    OCfgValue* fresh = node.GetOrAddParam("new");
    EXPECT_STREQ(fresh->text, "");
    EXPECT_EQ(node.params["new"].size(), 1u);

    EXPECT_EQ(node.GetOrAddObject("o")->Get("a", ""), "1");
    OCfgObject* made = node.GetOrAddObject("made");
    EXPECT_TRUE(cfgtest::IsEmptyNode(*made));
    made->AddParam("k", "v");
    EXPECT_EQ(node.Get("made.k", ""), "v");

    node.RemoveParam("p");
    node.RemoveParam("absent");
    node.RemoveParam(nullptr);
    EXPECT_FALSE(node.IsParam("p"));
    node.RemoveObject("o");
    node.RemoveObject("absent");
    EXPECT_FALSE(node.IsObject("o"));
    EXPECT_TRUE(node.IsObject("made"));

    node.Clear();
    EXPECT_TRUE(cfgtest::IsEmptyNode(node));
    node.AddParam("x", "1");
    node.Reset();
    EXPECT_TRUE(cfgtest::IsEmptyNode(node));
}

TEST(CfgEdit, SortValuesWholeSubtree)
{
    OCfgObject node = Tree("a [b a \xE9 B] o { c [3 10 2] o { d [z y] } }");
    node.SortValues();
    EXPECT_EQ(Values(node, "a"), (Strings{"B", "a", "b", "\xE9"}));
    EXPECT_EQ(Values(node.objects["o"][0], "c"), (Strings{"10", "2", "3"}));
    EXPECT_EQ(Values(node.objects["o"][0].objects["o"][0], "d"), (Strings{"y", "z"}));
}

TEST(CfgEdit, ScrambleFollowsTheNodesGenerator)
{
    OCfgObject node;
    // From seed 1 the generator yields 16838, 5758, 10113: low bytes C6, 7E, 81.
    node.random.SetSeed(1);
    char data[] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(node.Scramble(data, 3), data);
    EXPECT_EQ(static_cast<u8>(data[0]), 'a' ^ 0xC6);
    EXPECT_EQ(static_cast<u8>(data[1]), 'b' ^ 0x7E);
    EXPECT_EQ(static_cast<u8>(data[2]), 'c' ^ 0x81);
    EXPECT_EQ(data[3], 'd');
    node.random.SetSeed(1);
    node.Scramble(data, 3);
    EXPECT_EQ(std::string(data, 4), "abcd");

    // A byte that scrambles to 0 does not end the run.
    node.random.SetSeed(1);
    char text[] = "\xC6xy";
    EXPECT_EQ(node.ScrambleString(text), text);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(static_cast<u8>(text[1]), 'x' ^ 0x7E);
    EXPECT_EQ(static_cast<u8>(text[2]), 'y' ^ 0x81);
    EXPECT_EQ(text[3], 0);
    EXPECT_EQ(node.ScrambleString(nullptr), nullptr);
}

TEST(CfgEdit, SizesAndCounts)
{
    OCfgObject node = SampleTree();
    node.Compact();
    // a: 1 + 1 + 1, b: 1 + 3, o: 1 + (c: 1 + 1)
    EXPECT_EQ(node.TextLength(), 10);
    // 12 + a (28 + 16 + 2 * 28 + 1 + 2) + b (28 + 16 + 28 + 1 + 3)
    // + 12 + o (28 + 16 + 28 + 1 + (28 + 2))
    EXPECT_EQ(node.MemorySize(), 306);
    EXPECT_EQ(node.CountParams(), 3);
    EXPECT_EQ(node.CountObjects(), 1);

    OCfgObject empty;
    EXPECT_EQ(empty.TextLength(), 0);
    EXPECT_EQ(empty.MemorySize(), 24);

    // Names count once per entry, however many objects or values it holds.
    OCfgObject many = Tree("x { a 1 } x { a 1 b 2 } y 1 y 2");
    EXPECT_EQ(many.CountParams(), 1 + 1 + 2);
    EXPECT_EQ(many.CountObjects(), 1);
    // y: 1 + 1 + 1; x once: 1; the two x objects: 2 and 4.
    EXPECT_EQ(many.TextLength(), 3 + 1 + 2 + 4);
}

TEST(CfgEdit, CompactKeepsContent)
{
    OCfgObject node;
    for (int i = 0; i < 5; ++i)
    {
        node.AddParam("v", std::to_string(i).c_str());
        node.GetOrAddObject("o")->AddParam("w", "x");
    }
    node.objects["o"].emplace_back();
    const int before = node.MemorySize();
    node.Compact();
    EXPECT_EQ(node.params["v"].capacity(), 5u);
    EXPECT_EQ(node.objects["o"].capacity(), 2u);
    EXPECT_LE(node.MemorySize(), before);
    EXPECT_EQ(Values(node, "v"), (Strings{"0", "1", "2", "3", "4"}));
    EXPECT_EQ(node.objects["o"][0].params["w"].capacity(), 5u);
}
