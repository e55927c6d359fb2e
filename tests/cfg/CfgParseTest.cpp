// The cfg parser: lexical rules, statements, arrays, objects and what it
// leaves in the caller's buffer.
#include "cfg/CfgTestUtil.h"

#include "core/XorScramble.h"

#include <gtest/gtest.h>

#include <cstring>

using cfgtest::ParseText;
using cfgtest::Values;
using Strings = std::vector<std::string>;

namespace
{

// Parses and expects the given result and error code.
void ExpectParse(const std::string& text, int result, u32 error, OCfgObject* out = nullptr)
{
    OCfgObject local;
    OCfgObject& node = out != nullptr ? *out : local;
    auto p = ParseText(node, text);
    EXPECT_EQ(p.result, result) << "text: " << text;
    EXPECT_EQ(p.error, error) << "text: " << text;
}

} // namespace

TEST(CfgParse, EmptyInputLeavesErrorCodeAlone)
{
    OCfgObject node;
    ExpectParse("a = b {", 0, 11); // any non-zero code to watch
    char text[] = "";
    EXPECT_EQ(node.Parse(text, 0), 0);
    EXPECT_EQ(OCfgObject::GetLastError(), 11u);
    EXPECT_EQ(node.Parse(nullptr, 5), 0);
    EXPECT_EQ(OCfgObject::GetLastError(), 11u);
    char blank[] = " ";
    EXPECT_EQ(node.Parse(blank, -1), 0);
    EXPECT_EQ(OCfgObject::GetLastError(), 11u);

    // Blanks and comments only: success, nothing stored.
    ExpectParse(" \t\r\n ;,, # note\n// more\r\n/* block */", 1, 0, &node);
    EXPECT_TRUE(node.params.empty());
    EXPECT_TRUE(node.objects.empty());
}

TEST(CfgParse, StatementsNeedNoEqualsOrSeparators)
{
    OCfgObject node;
    ExpectParse("a = 1; a = 2, a [3 4]", 1, 0, &node);
    EXPECT_EQ(Values(node, "a"), (Strings{"1", "2", "3", "4"}));
    EXPECT_EQ(node.Get("a", "?"), "1");

    OCfgObject bare;
    ExpectParse("a b c = d e:f", 1, 0, &bare);
    EXPECT_EQ(Values(bare, "a"), Strings{"b"});
    EXPECT_EQ(Values(bare, "c"), Strings{"d"});
    EXPECT_EQ(Values(bare, "e"), Strings{"f"});

    ExpectParse("a == b", 0, 5);
    // A name at the end of the text without a value is dropped quietly.
    OCfgObject tail;
    ExpectParse("a = 1 b", 1, 0, &tail);
    EXPECT_EQ(tail.params.size(), 1u);
    ExpectParse("a =", 1, 0);
}

TEST(CfgParse, TokenCharacters)
{
    OCfgObject node;
    // Start set: letters, digits, ._-+*/!?^ and 0x81 to 0xFF; the apostrophe
    // only continues a token.
    ExpectParse("k1 ._-+*/!?^ k2 a'b k3 \xE9t\xFF", 1, 0, &node);
    EXPECT_EQ(Values(node, "k1"), Strings{"._-+*/!?^"});
    EXPECT_EQ(Values(node, "k2"), Strings{"a'b"});
    EXPECT_EQ(Values(node, "k3"), Strings{"\xE9t\xFF"});

    ExpectParse("k \x80", 0, 5);
    ExpectParse("k 'x", 0, 13);
    ExpectParse("k @", 0, 5);
    ExpectParse("@ = 1", 0, 5);

    // "//" and "/*" inside a bare token start no comment.
    OCfgObject slashes;
    ExpectParse("a//b c/*d", 1, 0, &slashes);
    EXPECT_EQ(Values(slashes, "a//b"), Strings{"c/*d"});
}

TEST(CfgParse, QuotedTokens)
{
    OCfgObject node;
    ExpectParse("\"a b\" = \"x\n#y}\" 'q r' 'say \"hi\"'", 1, 0, &node);
    EXPECT_EQ(Values(node, "a b"), Strings{"x\n#y}"});
    EXPECT_EQ(Values(node, "q r"), Strings{"say \"hi\""});

    ExpectParse("a = \"open", 0, 12);
    ExpectParse("a = 'open", 0, 13);
    ExpectParse("\"open = 1", 0, 12);

    // Empty single values and values beginning with two double quotes are
    // not stored; in arrays empties are kept.
    OCfgObject empties;
    ExpectParse("a '' b \"\" c '\"\"x' d ['' \"\" 'e'] f '\"x'", 1, 0, &empties);
    EXPECT_EQ(empties.params.count("a"), 0u);
    EXPECT_EQ(empties.params.count("b"), 0u);
    EXPECT_EQ(empties.params.count("c"), 0u);
    EXPECT_EQ(Values(empties, "d"), (Strings{"", "", "e"}));
    EXPECT_EQ(Values(empties, "f"), Strings{"\"x"});
}

TEST(CfgParse, Comments)
{
    OCfgObject node;
    ExpectParse("/* a /* b */ c */ k = v", 1, 0, &node);
    EXPECT_EQ(node.params.size(), 1u);
    EXPECT_EQ(Values(node, "k"), Strings{"v"});

    OCfgObject open;
    ExpectParse("k = v /* never closed\n x = 1", 1, 0, &open);
    EXPECT_EQ(open.params.size(), 1u);

    OCfgObject lines;
    ExpectParse("a = 1 # one\r\n\r\nb = 2 // two\nc // three\n = 3 #", 1, 0, &lines);
    EXPECT_EQ(Values(lines, "a"), Strings{"1"});
    EXPECT_EQ(Values(lines, "b"), Strings{"2"});
    EXPECT_EQ(Values(lines, "c"), Strings{"3"});

    // A comment may stand between a name and its '=' or value.
    OCfgObject between;
    ExpectParse("a /*x*/ = /*y*/ [1 /*z*/ 2]", 1, 0, &between);
    EXPECT_EQ(Values(between, "a"), (Strings{"1", "2"}));
}

TEST(CfgParse, SingleValueFollowedBySyntax)
{
    ExpectParse("a = b {", 0, 11);
    ExpectParse("a = b =", 0, 11);
    ExpectParse("a = b :", 0, 11);
    ExpectParse("a = b [", 0, 11);
    ExpectParse("a = \"b\" {", 0, 11);
    // No blank before the brace: the NUL that ends b is written over it.
    ExpectParse("a = b{", 0, 5);
    ExpectParse("a = b[1]", 0, 5);
    ExpectParse("a = }", 0, 5);
    ExpectParse("a = ]", 0, 5);
}

TEST(CfgParse, Arrays)
{
    OCfgObject node;
    ExpectParse("a [1 2] b=[x,y;z] c []", 1, 0, &node);
    EXPECT_EQ(Values(node, "a"), (Strings{"1", "2"}));
    EXPECT_EQ(Values(node, "b"), (Strings{"x", "y", "z"}));
    EXPECT_EQ(node.params.count("c"), 0u);

    // Open at the very end of the text: kept, no error.
    OCfgObject open;
    ExpectParse("a [1 2", 1, 0, &open);
    EXPECT_EQ(Values(open, "a"), (Strings{"1", "2"}));

    // Open inside an object: the byte at the range's end is its '}'.
    ExpectParse("o { a [1 2 }", 0, 7);
    ExpectParse("a [1 = 2]", 0, 7);

    // A broken quoted token ends the array on the last byte of the range:
    // ']' closes without it, anything else is unclosed.
    OCfgObject broken;
    ExpectParse("a [1 \"2]", 1, 0, &broken);
    EXPECT_EQ(Values(broken, "a"), Strings{"1"});
    ExpectParse("a [1 \"2] ", 0, 7);

    // The array's brackets touching the tokens on both sides.
    OCfgObject tight;
    ExpectParse("a[1]b[2]", 1, 0, &tight);
    EXPECT_EQ(Values(tight, "a"), Strings{"1"});
    EXPECT_EQ(Values(tight, "b"), Strings{"2"});
}

TEST(CfgParse, Objects)
{
    OCfgObject node;
    ExpectParse("x { y = 1 } x { y = 2 } x{}", 1, 0, &node);
    ASSERT_EQ(node.objects.count("x"), 1u);
    EXPECT_EQ(node.objects["x"].size(), 2u);
    EXPECT_EQ(node.Get("x.y", "?"), "1");
    OCfgCursor c = node.FindObject("x");
    ASSERT_NE(c, node.ObjectsEnd());
    EXPECT_EQ(c.GetObject(1)->Get("y", "?"), "2");

    OCfgObject empty;
    ExpectParse("x { } y { /* } */ } z = {\n}", 1, 0, &empty);
    EXPECT_TRUE(empty.objects.empty());

    OCfgObject hollow;
    ExpectParse("x { a }", 1, 0, &hollow);
    ASSERT_EQ(hollow.objects.count("x"), 1u);
    EXPECT_TRUE(cfgtest::IsEmptyNode(hollow.objects["x"][0]));

    OCfgObject nested;
    ExpectParse("a{b{c{d=4}}e=5}f:{g 6}", 1, 0, &nested);
    EXPECT_EQ(nested.GetI("a.b.c.d", 0), 4);
    EXPECT_EQ(nested.GetI("a.e", 0), 5);
    EXPECT_EQ(nested.GetI("f.g", 0), 6);

    // Parameters and objects of one name live side by side.
    OCfgObject both;
    ExpectParse("n = 1 n { m = 2 }", 1, 0, &both);
    EXPECT_TRUE(both.IsParam("n"));
    EXPECT_TRUE(both.IsObject("n"));
}

TEST(CfgParse, ObjectBraceMatching)
{
    ExpectParse("o { a = 1", 0, 6);
    ExpectParse("o { a { b = 1 }", 0, 6);

    // A quoted '}' is fine at the top level but ends an object's body early.
    OCfgObject top;
    ExpectParse("a = \"}\"", 1, 0, &top);
    EXPECT_EQ(Values(top, "a"), Strings{"}"});
    ExpectParse("o { a = \"}\" }", 0, 12);
    // So does one in a comment.
    ExpectParse("o { a = 1 # }\n b = 2 }", 0, 5);

    // Balanced braces inside quotes are carried.
    OCfgObject balanced;
    ExpectParse("o { a = \"{}\" }", 1, 0, &balanced);
    EXPECT_EQ(balanced.Get("o.a", "?"), "{}");

    // A failure inside keeps what was stored, the partial object included.
    OCfgObject partial;
    ExpectParse("k = 1 o { a = 1 b = c { } } z = 2", 0, 11, &partial);
    EXPECT_EQ(Values(partial, "k"), Strings{"1"});
    EXPECT_EQ(partial.Get("o.a", "?"), "1");
    EXPECT_FALSE(partial.IsParam("z"));
}

TEST(CfgParse, NestingDepthIsBounded)
{
    std::string deep;
    const int levels = OCfgObject::kMaxDepth + 1;
    for (int i = 0; i < levels; ++i)
    {
        deep += "a{";
    }
    deep += "v=1";
    deep += std::string(static_cast<size_t>(levels), '}');
    ExpectParse(deep, 0, 11);

    std::string ok = deep.substr(2, deep.size() - 3);
    OCfgObject node;
    ExpectParse(ok, 1, 0, &node);
    std::string path;
    for (int i = 0; i < OCfgObject::kMaxDepth; ++i)
    {
        path += "a.";
    }
    EXPECT_EQ(node.GetI(path + "v", 0), 1);
}

TEST(CfgParse, BufferIsAlteredInPlace)
{
    OCfgObject node;
    std::vector<char> buffer;
    ParseText(node, "a = b c [d e] o{p q}", &buffer);
    // NULs after single values and their names stay; those after array
    // values and object or array names are put back.
    // The last value of an object ends on its closing brace, which it keeps
    // as a NUL.
    const char expected[] = "a\0= b\0c [d e] o{p\0q\0";
    ASSERT_EQ(buffer.size(), sizeof(expected));
    EXPECT_EQ(0, std::memcmp(buffer.data(), expected, sizeof(expected)));
}

TEST(CfgParse, ParsingAddsToExistingContent)
{
    OCfgObject node;
    ExpectParse("a = 1 o { x = 1 }", 1, 0, &node);
    ExpectParse("a = 2 o { x = 2 }", 1, 0, &node);
    EXPECT_EQ(Values(node, "a"), (Strings{"1", "2"}));
    EXPECT_EQ(node.objects["o"].size(), 2u);
}

TEST(CfgParse, ScrambledFileAsLoadersReadIt)
{
    std::string text = "screen { width = 800 height = 600 }\n";
    std::vector<char> data(text.begin(), text.end());
    data.push_back(0);
    auto* bytes = reinterpret_cast<u8*>(data.data());
    XorScramble(bytes, nullptr, static_cast<u32>(text.size()), 0xB3);
    XorUnscramble(bytes, nullptr, static_cast<u32>(text.size()), 0xB3);
    OCfgObject node;
    ASSERT_EQ(node.Parse(data.data(), static_cast<int>(text.size())), 1);
    EXPECT_EQ(node.GetI("screen.height", 0), 600);
}

TEST(CfgParse, ShorterLengthStopsAtItsEnd)
{
    // Only the given range is parsed; the byte after it is read, not parsed.
    char text[] = "a = 1 b = 2";
    OCfgObject node;
    EXPECT_EQ(node.Parse(text, 5), 1);
    EXPECT_EQ(Values(node, "a"), Strings{"1"});
    EXPECT_FALSE(node.IsParam("b"));
}
