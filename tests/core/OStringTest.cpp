#include "core/OString.h"
#include "AllocFailure.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
// Size and capacity together, so a failure shows both.
std::pair<u32, u32> Shape(const OString& s)
{
    return {s.size, s.capacity};
}

std::pair<u32, u32> Shape(u32 size, u32 capacity)
{
    return {size, capacity};
}

void ExpectNoBuffer(const OString& s)
{
    EXPECT_EQ(s.text, nullptr);
    EXPECT_EQ(Shape(s), Shape(0, 0));
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.IsEmpty(), 1u);
}
} // namespace

TEST(StringConstruction, ExactBuffers)
{
    ExpectNoBuffer(OString());
    const OString empty("");
    ASSERT_NE(empty.text, nullptr);
    EXPECT_EQ(Shape(empty), Shape(1, 1));
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.IsEmpty(), 1u);

    const OString abc = OString::FromText("abc");
    EXPECT_STREQ(abc.text, "abc");
    EXPECT_EQ(Shape(abc), Shape(4, 4));
    EXPECT_EQ(abc.Length(), 3u);
    EXPECT_EQ(abc.Size(), 4u);
    EXPECT_EQ(abc.IsEmpty(), 0u);

    const OString c = OString::FromChar('q');
    EXPECT_STREQ(c.text, "q");
    EXPECT_EQ(Shape(c), Shape(2, 2));

    // A copy is deep and exactly as large as the source's size.
    OString big("abc");
    big.Reserve(50);
    const OString copy(big);
    EXPECT_NE(copy.text, big.text);
    EXPECT_STREQ(copy.text, "abc");
    EXPECT_EQ(Shape(copy), Shape(4, 4));
    const OString named = OString::CopyConstruct(big);
    EXPECT_STREQ(named.text, "abc");
    EXPECT_EQ(Shape(named), Shape(4, 4));
    ExpectNoBuffer(OString(OString()));
    ExpectNoBuffer(OString::CopyConstruct(OString()));
}

TEST(StringAssignment, ReusesLargerBuffersAndFreesOnEmpty)
{
    OString s("abcdef");
    char* block = s.text;
    ASSERT_TRUE(s.AssignText("xy"));
    EXPECT_EQ(s.text, block);
    EXPECT_STREQ(s.text, "xy");
    EXPECT_EQ(Shape(s), Shape(3, 7));

    ASSERT_TRUE(s.AssignText("0123456789"));
    EXPECT_EQ(Shape(s), Shape(11, 11));
    EXPECT_STREQ(s.text, "0123456789");

    // The empty text and a source without a buffer both free the buffer.
    s.AssignText("");
    ExpectNoBuffer(s);
    s.AssignText("abc");
    s.Assign(OString());
    ExpectNoBuffer(s);

    // Assigning a string's own text or itself changes nothing.
    s.AssignText("abc");
    block = s.text;
    s.AssignText(s.text);
    s.Assign(s);
    s = s;
    EXPECT_EQ(s.text, block);
    EXPECT_EQ(Shape(s), Shape(4, 4));

    // A tail of its own text is a valid source.
    s.AssignText(s.text + 1);
    EXPECT_STREQ(s.text, "bc");
    EXPECT_EQ(Shape(s), Shape(3, 4));

    // Assignment copies the whole size, into a buffer the size of the source
    // when the destination is smaller.
    OString d("z");
    OString src("hello");
    d = src;
    EXPECT_STREQ(d.text, "hello");
    EXPECT_EQ(Shape(d), Shape(6, 6));
    EXPECT_EQ(&d.AssignFrom(OString("hi")), &d);
    EXPECT_EQ(Shape(d), Shape(3, 6));
}

TEST(StringAppend, ReallocatesToTheExactSizeEveryTime)
{
    OString s;
    ASSERT_TRUE(s.AppendText("ab"));
    EXPECT_EQ(Shape(s), Shape(3, 3));
    char* block = s.text;
    ASSERT_TRUE(s.AppendText("c"));
    EXPECT_STREQ(s.text, "abc");
    EXPECT_EQ(Shape(s), Shape(4, 4));
    (void)block;

    // Even an empty append reallocates, and on a string without a buffer it
    // leaves the one-byte empty text.
    s.Reserve(100);
    ASSERT_TRUE(s.AppendText(""));
    EXPECT_EQ(Shape(s), Shape(4, 4));
    OString e;
    e.AppendText("");
    EXPECT_EQ(Shape(e), Shape(1, 1));
    EXPECT_STREQ(e.text, "");

    OString t("12");
    t.Append(OString("345"));
    EXPECT_STREQ(t.text, "12345");
    EXPECT_EQ(Shape(t), Shape(6, 6));
    t.Append(OString());
    EXPECT_EQ(Shape(t), Shape(6, 6));

    // Appending a string to itself, or a piece of its own text.
    t.Append(t);
    EXPECT_STREQ(t.text, "1234512345");
    EXPECT_EQ(Shape(t), Shape(11, 11));
    t.AppendText(t.text + 8);
    EXPECT_STREQ(t.text, "123451234545");
    EXPECT_EQ(Shape(t), Shape(13, 13));
}

TEST(StringAppend, ConcatLeavesBothOperandsAndFitsExactly)
{
    const OString a("foo");
    const OString b("bar");
    const OString ab = a.Concat(b);
    EXPECT_STREQ(ab.text, "foobar");
    EXPECT_EQ(Shape(ab), Shape(7, 7));
    EXPECT_STREQ(a.text, "foo");
    EXPECT_EQ(Shape(a), Shape(4, 4));

    const OString ax = a.ConcatText("!");
    EXPECT_STREQ(ax.text, "foo!");
    EXPECT_EQ(Shape(ax), Shape(5, 5));

    const OString none;
    const OString nb = none.Concat(b);
    EXPECT_STREQ(nb.text, "bar");
    EXPECT_EQ(Shape(nb), Shape(4, 4));
    ExpectNoBuffer(none.Concat(none));
}

TEST(StringReserve, ExactCapacityAndTruncation)
{
    OString s;
    ASSERT_TRUE(s.Reserve(0));
    EXPECT_EQ(Shape(s), Shape(0, 256));
    EXPECT_EQ(s.Length(), 0u);
    EXPECT_EQ(s.text[0], 0); // reads as the empty text

    OString t("abcdef");
    char* block = t.text;
    ASSERT_TRUE(t.Reserve(7));
    EXPECT_NE(t.text, block); // always reallocates
    EXPECT_STREQ(t.text, "abcdef");
    EXPECT_EQ(Shape(t), Shape(7, 7));

    // Below the size the bytes from n on go, terminator included; the block
    // still reads as a bounded text.
    ASSERT_TRUE(t.Reserve(3));
    EXPECT_EQ(Shape(t), Shape(3, 3));
    EXPECT_EQ(std::memcmp(t.text, "abc", 3), 0);
    EXPECT_EQ(StrLen(t.text), 3);
}

TEST(StringPushBack, DoublesAndAddsNoTerminator)
{
    OString s;
    ASSERT_TRUE(s.PushBack('a'));
    EXPECT_EQ(Shape(s), Shape(1, 256));
    EXPECT_EQ(s.text[0], 'a');
    // No terminator is pushed, yet the fresh block reads as the text pushed
    // so far rather than running on into whatever the heap left there.
    s.PushBack('b');
    EXPECT_STREQ(s.text, "ab");

    OString t("ab");
    t.PushBack('c'); // full at 3: capacity doubles to 6
    EXPECT_EQ(Shape(t), Shape(4, 6));
    EXPECT_EQ(std::memcmp(t.text, "ab\0c", 4), 0);
    t.PushBack('d');
    t.PushBack('\0');
    EXPECT_EQ(Shape(t), Shape(6, 6));
    t.PushBack('e');
    EXPECT_EQ(Shape(t), Shape(7, 12));

    // A pushed-full block still ends in a zero inside the allocation.
    OString u;
    for (int i = 0; i < 256; ++i)
        u.PushBack('x');
    EXPECT_EQ(Shape(u), Shape(256, 256));
    EXPECT_EQ(StrLen(u.text), 256);
}

TEST(StringMisc, ClearCaseAndCompare)
{
    OString s("MiXeD 1!");
    s.ToLower();
    EXPECT_STREQ(s.text, "mixed 1!");
    s.ToUpper();
    EXPECT_STREQ(s.text, "MIXED 1!");
    OString none;
    none.ToUpper();
    none.Clear();
    ExpectNoBuffer(none);

    char* block = s.text;
    s.Clear();
    EXPECT_EQ(s.text, block);
    EXPECT_EQ(Shape(s), Shape(1, 9));
    EXPECT_EQ(s.IsEmpty(), 1u);

    EXPECT_EQ(OStringCompare(OString("abc"), OString("abd")), -1);
    EXPECT_EQ(OStringCompare(OString("\xE9"), OString("z")), 1);
    EXPECT_EQ(OStringCompare(OString("ab"), OString("ab")), 0);
    EXPECT_TRUE(OString("ab") == OString("ab"));
    EXPECT_FALSE(OString("ab") == OString("abc"));
    // Without a buffer on either side the sizes decide: no buffer (0) ranks
    // below the empty text (1), and two strings without one are equal.
    EXPECT_EQ(OStringCompare(OString(), OString("")), -1);
    EXPECT_EQ(OStringCompare(OString("xyz"), OString()), 1);
    EXPECT_EQ(OStringCompare(OString(), OString()), 0);
    EXPECT_TRUE(OString() == OString());
}

TEST(StringFailure, RefusedAllocationsKeepTheOldText)
{
    OString s("abc");
    char* block = s.text;
    const OString x("x");
    const OString longer("a longer text");
    {
        coretest::FailAllocations fail;
        EXPECT_FALSE(s.Reserve(1000));
        EXPECT_FALSE(s.AppendText("defgh"));
        EXPECT_FALSE(s.Append(x));
        EXPECT_FALSE(s.Append(s));
        EXPECT_FALSE(s.AssignText("a longer text"));
        EXPECT_FALSE(s.Assign(longer));
        EXPECT_FALSE(s.PushBack('d')); // full: the doubling is refused
        EXPECT_EQ(fail.Refused(), 7);
    }
    EXPECT_EQ(s.text, block);
    EXPECT_STREQ(s.text, "abc");
    EXPECT_EQ(Shape(s), Shape(4, 4));

    {
        coretest::FailAllocations fail;
        const OString c("abc");
        ExpectNoBuffer(c);
        const OString ch('x');
        ExpectNoBuffer(ch);
        const OString copy(s);
        ExpectNoBuffer(copy);
        const OString cat = s.ConcatText("def");
        ExpectNoBuffer(cat);
    }

    // The second allocation of an append is refused: the text stays whole.
    OString t("abc");
    {
        coretest::FailAllocations fail(1);
        EXPECT_TRUE(t.AppendText("d"));
        EXPECT_FALSE(t.AppendText("e"));
    }
    EXPECT_STREQ(t.text, "abcd");
    EXPECT_EQ(Shape(t), Shape(5, 5));
}
