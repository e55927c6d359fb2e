// Reading a parsed tree: dotted paths, the numeric accessors and their error
// codes, cursors and value iterators.
#include "cfg/CfgTestUtil.h"

#include <gtest/gtest.h>

#include <stdexcept>

using cfgtest::ParseText;

namespace
{

OCfgObject Tree(const std::string& text)
{
    OCfgObject node;
    auto p = ParseText(node, text);
    EXPECT_EQ(p.result, 1) << text;
    return node;
}

// Leaves a known non-zero code behind.
void SetErrorCode9()
{
    OCfgObject empty;
    empty.Get("nothing", "");
    ASSERT_EQ(OCfgObject::GetLastError(), 9u);
}

} // namespace

TEST(CfgAccess, ErrorMessages)
{
    EXPECT_STREQ(OCfgObject::GetErrorMessage(0), "No errors");
    EXPECT_STREQ(OCfgObject::GetErrorMessage(5), "No name of parameter or object");
    EXPECT_STREQ(OCfgObject::GetErrorMessage(12), "Not close \" for string \"..\"");
    EXPECT_STREQ(OCfgObject::GetErrorMessage(13), "Not close ' for string '..'");
    EXPECT_EQ(OCfgObject::GetErrorMessage(14), nullptr);
}

TEST(CfgAccess, DottedPaths)
{
    OCfgObject node = Tree(
        "top = 1 a { b { c = 2 } b { c = 3 d = 4 } } a { z = 9 } \"a.b\" = 5 'x.' { k = 6 } '' { '' = 7 }");
    EXPECT_EQ(node.Get("top", "?"), "1");
    EXPECT_EQ(node.Get("a.b.c", "?"), "2");
    // Only the first object of a name lies on a path.
    EXPECT_EQ(node.Get("a.b.d", "?"), "?");
    EXPECT_EQ(node.Get("a.z", "?"), "?");
    // A name holding a '.' is out of reach of paths.
    EXPECT_FALSE(node.IsParam("a.b"));
    EXPECT_TRUE(node.IsObject("a.b"));
    EXPECT_FALSE(node.IsParam("x..k"));
    // Empty names are names like any other.
    EXPECT_EQ(node.Get(".", "?"), "7");
    EXPECT_FALSE(node.IsObject("a.b.c"));
    EXPECT_FALSE(node.IsParam("a"));
    EXPECT_FALSE(node.IsObject("nope.a"));
    EXPECT_FALSE(node.IsParam(nullptr));

    SetErrorCode9();
    OCfgObject fresh = Tree("k = v");
    EXPECT_EQ(fresh.Get("k", "?"), "v"); // success leaves the code alone
    EXPECT_EQ(OCfgObject::GetLastError(), 0u);
    SetErrorCode9();
    EXPECT_EQ(fresh.Get("k", "?"), "v");
    EXPECT_EQ(OCfgObject::GetLastError(), 9u);
}

TEST(CfgAccess, GetArray)
{
    OCfgObject node = Tree("a [x y z] o { b = 1 }");
    std::vector<std::string> out{"stale"};
    EXPECT_EQ(node.GetArray("a", &out), 0);
    EXPECT_EQ(out, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(node.GetArray("o.c", &out), 9);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(OCfgObject::GetLastError(), 9u);
}

TEST(CfgAccess, GetIConversions)
{
    // A prefix without a hex digit after it converts nothing: the default.
    OCfgObject node = Tree("a 10 b 0x1F c -7 d +5 e o12 f x g 0X1F h \"\" i [' ' 1] j 0xzz k 12abc l - "
                           "m 0x n 0x-5 p 0xa");
    struct Case
    {
        const char* path;
        int value;
        u32 code;
    } cases[] = {
        {"a", 10, 0},  {"b", 31, 0},        {"c", -7, 0},  {"d", 5, 0},  {"e", 0, 0},
        {"f", 99, 10}, {"g", 0, 0},         {"i", 99, 10}, {"j", 99, 0}, {"k", 12, 0},
        {"l", 0, 0},   {"missing", 99, 10}, {"m", 99, 0},  {"n", 99, 0}, {"p", 10, 0},
    };
    for (const Case& c : cases)
    {
        SetErrorCode9();
        EXPECT_EQ(node.GetI(c.path, 99), c.value) << c.path;
        EXPECT_EQ(OCfgObject::GetLastError(), c.code) << c.path;
    }
}

TEST(CfgAccess, GetFConversions)
{
    OCfgObject node = Tree("a .5 b e5 c -1.25 d +2 e 3e2 f 'x'");
    EXPECT_FLOAT_EQ(node.GetF("a", 7.0f), 0.5f);
    EXPECT_EQ(OCfgObject::GetLastError(), 0u);
    EXPECT_FLOAT_EQ(node.GetF("b", 7.0f), 7.0f);
    EXPECT_EQ(OCfgObject::GetLastError(), 10u);
    EXPECT_FLOAT_EQ(node.GetF("c", 7.0f), -1.25f);
    EXPECT_FLOAT_EQ(node.GetF("d", 7.0f), 2.0f);
    EXPECT_FLOAT_EQ(node.GetF("e", 7.0f), 300.0f);
    EXPECT_FLOAT_EQ(node.GetF("f", 7.0f), 7.0f);
    EXPECT_FLOAT_EQ(node.GetF("missing", 7.0f), 7.0f);
    EXPECT_EQ(OCfgObject::GetLastError(), 10u);
}

TEST(CfgAccess, NumericArrays)
{
    OCfgObject node = Tree("i [1 zz 0x10 -3 0x] ok [1 2] f [.5 e1 2]");
    std::vector<int> ints{42};
    SetErrorCode9();
    EXPECT_EQ(node.GetIArray("missing", &ints), 9);
    EXPECT_TRUE(ints.empty());

    EXPECT_EQ(node.GetIArray("i", &ints), 10);
    EXPECT_EQ(ints, (std::vector<int>{1, 0, 16, -3, 0}));

    // Not cleared first: an earlier code survives a clean conversion.
    SetErrorCode9();
    EXPECT_EQ(node.GetIArray("ok", &ints), 9);
    EXPECT_EQ(ints, (std::vector<int>{1, 2}));
    node.GetI("ok", 0);
    EXPECT_EQ(node.GetIArray("ok", &ints), 0);

    std::vector<float> floats;
    EXPECT_EQ(node.GetFArray("f", &floats), 10);
    ASSERT_EQ(floats.size(), 3u);
    EXPECT_FLOAT_EQ(floats[0], 0.5f);
    EXPECT_FLOAT_EQ(floats[1], 0.0f);
    EXPECT_FLOAT_EQ(floats[2], 2.0f);
}

TEST(CfgAccess, ValueConversionsWithoutChecks)
{
    OCfgValue hex("0xff"), dec("-12x"), word("abc"), upper("0X10"), flt("2.5e1"), bare("0x");
    EXPECT_EQ(hex.ToInt(), 255);
    EXPECT_EQ(bare.ToInt(), 0);
    OCfgValue fromText = "7";
    EXPECT_EQ(fromText.ToInt(), 7);
    EXPECT_EQ(dec.ToInt(), -12);
    EXPECT_EQ(word.ToInt(), 0);
    EXPECT_EQ(upper.ToInt(), 0);
    EXPECT_FLOAT_EQ(flt.ToFloat(), 25.0f);

    OCfgValue copy(hex);
    EXPECT_NE(copy.text, hex.text);
    copy = dec;
    EXPECT_STREQ(copy.text, "-12x");
    OCfgValue& self = copy;
    copy = self;
    EXPECT_STREQ(copy.text, "-12x");
}

TEST(CfgAccess, CursorsOverObjects)
{
    OCfgObject node = Tree("b { v 1 } a { v 2 } b { v 3 } p 1 o { q { r 1 } }");
    std::vector<std::string> names;
    std::vector<int> counts;
    for (OCfgCursor c = node.ObjectsBegin(); c != node.ObjectsEnd(); c.Next())
    {
        names.emplace_back(c.Name());
        counts.push_back(static_cast<int>(node.objects[c.Name()].size()));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "o"}));
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 1}));

    OCfgCursor b = node.FindObject("b");
    ASSERT_NE(b, node.ObjectsEnd());
    EXPECT_EQ(b.GetObject(0)->Get("v", ""), "1");
    EXPECT_EQ(b.GetObject(1)->Get("v", ""), "3");
    EXPECT_THROW(b.GetObject(2), std::out_of_range);

    OCfgCursor q = node.FindObject("o.q");
    ASSERT_NE(q, node.ObjectsEnd());
    EXPECT_STREQ(q.Name(), "q");
    EXPECT_EQ(q.GetObject(0)->Get("r", ""), "1");

    // Failed lookups, deep or not, equal the end of any node's maps.
    OCfgObject other;
    EXPECT_EQ(node.FindParam("nope.x"), other.ParamsEnd());
    EXPECT_EQ(node.FindParam("nope.x"), node.ObjectsEnd());
    EXPECT_EQ(node.FindObject("o.nope"), node.ParamsEnd());
    EXPECT_EQ(node.FindObject("p"), node.ObjectsEnd());
    EXPECT_NE(node.FindObject("o"), node.ObjectsEnd());
    EXPECT_NE(node.FindObject("o"), node.FindObject("a"));
    EXPECT_EQ(node.FindObject("o"), node.FindObject("o"));
    // A cursor at the end answers safely.
    OCfgCursor end = node.ObjectsEnd();
    EXPECT_EQ(end.Name(), nullptr);
    EXPECT_EQ(end.GetObject(0), nullptr);
    end.Next();
    EXPECT_EQ(end, node.ObjectsEnd());
}

TEST(CfgAccess, ValueIterators)
{
    OCfgObject node = Tree("a [1 2 0x3] b 4 o { c [5 6] }");
    std::vector<int> seen;
    OCfgCursor a = node.FindParam("a");
    for (OCfgValueIter it = a.ValuesBegin(); it != a.ValuesEnd(); it.Next())
    {
        seen.push_back(it.Get()->ToInt());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

    OCfgCursor c = node.FindParam("o.c");
    ASSERT_NE(c, node.ParamsEnd());
    OCfgValueIter it = c.ValuesBegin();
    EXPECT_STREQ(it.Get()->text, "5");
    it.Next();
    EXPECT_STREQ(it.Get()->text, "6");
    it.Next();
    EXPECT_EQ(it.index, -1);
    EXPECT_EQ(it.Get(), nullptr);
    it.Next();
    EXPECT_EQ(it.index, -1);

    // Iterators of a missing parameter or of an objects cursor hold no list.
    OCfgCursor missing = node.FindParam("zzz");
    EXPECT_EQ(missing.ValuesBegin().Get(), nullptr);
    EXPECT_FALSE(missing.ValuesBegin() != missing.ValuesEnd());
    EXPECT_FALSE(node.ObjectsBegin().ValuesBegin() != node.ObjectsBegin().ValuesEnd());
    OCfgValueIter none(nullptr, 0);
    EXPECT_EQ(none.Get(), nullptr);
    none.Next();
    EXPECT_EQ(none.index, -1);
    OCfgValueIter past(&node.params["b"], 5);
    EXPECT_EQ(past.Get(), nullptr);
    past.Next();
    EXPECT_EQ(past.index, -1);
    EXPECT_EQ(node.FindObject("o").ValuesBegin().Get(), nullptr);
}
