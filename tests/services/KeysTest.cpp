#include "services/OKeys.h"
#include "core/PlatformCodes.h"

#include <gtest/gtest.h>

using namespace platform;

namespace
{

TEST(KeysTest, KeypadAndMovementKeysShareGameKeys)
{
    EXPECT_EQ(VirtualKeyToGameKey(VK_NUMPAD5), 9u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_SPACE), 9u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_CLEAR), 9u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_UP), VirtualKeyToGameKey(VK_NUMPAD8));
    EXPECT_EQ(VirtualKeyToGameKey(VK_PRIOR), VirtualKeyToGameKey(VK_NUMPAD9));
    EXPECT_EQ(VirtualKeyToGameKey(VK_NEXT), VirtualKeyToGameKey(VK_NUMPAD3));
    EXPECT_EQ(VirtualKeyToGameKey(VK_NUMPAD7), 1u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_NUMPAD1), 6u);
    // Home and End are keys of their own, not the keypad diagonals.
    EXPECT_EQ(VirtualKeyToGameKey(VK_HOME), 24u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_END), 25u);
}

TEST(KeysTest, ClipboardShortcutsAndLettersHaveTheirCodes)
{
    EXPECT_EQ(VirtualKeyToGameKey(0x8000), 26u);
    EXPECT_EQ(VirtualKeyToGameKey(0x8001), 27u);
    EXPECT_EQ(VirtualKeyToGameKey(0x8002), 28u);
    EXPECT_EQ(VirtualKeyToGameKey('W'), 14u);
    EXPECT_EQ(VirtualKeyToGameKey('P'), 22u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_TAB), 29u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_RETURN), 10u);
    EXPECT_EQ(VirtualKeyToGameKey(VK_ESCAPE), 11u);
}

TEST(KeysTest, EverythingElseIsNoGameKey)
{
    for (u32 vk : {u32{'Q'}, u32{'w'}, u32{'0'}, VK_SHIFT, VK_MENU, VK_NUMPAD0, VK_F1, VK_INSERT, 0u, 0x8003u,
                   0xFFFFFFFFu})
        EXPECT_EQ(VirtualKeyToGameKey(vk), 0u) << vk;
    u32 mapped = 0;
    for (u32 vk = 0; vk < 0x10000; ++vk)
        mapped += VirtualKeyToGameKey(vk) != 0;
    // 29 codes; six of them have two keys and one has three.
    EXPECT_EQ(mapped, 29u + 6u + 2u);
}

TEST(KeysTest, ReverseTranslationGivesAKeyThatTranslatesBack)
{
    for (u32 key = 1; key <= 29; ++key)
    {
        u32 vk = GameKeyToVirtualKey(key);
        ASSERT_NE(vk, 0u) << key;
        // 1 and 6 come back as Home and End, which are 24 and 25 going forward.
        u32 expected = key == 1 ? 24u : key == 6 ? 25u : key;
        EXPECT_EQ(VirtualKeyToGameKey(vk), expected) << key;
    }
    EXPECT_EQ(GameKeyToVirtualKey(9), VK_SPACE);
    EXPECT_EQ(GameKeyToVirtualKey(1), VK_HOME);
    EXPECT_EQ(GameKeyToVirtualKey(6), VK_END);
    EXPECT_EQ(GameKeyToVirtualKey(0), 0u);
    EXPECT_EQ(GameKeyToVirtualKey(30), 0u);
    EXPECT_EQ(GameKeyToVirtualKey(0x80000000u), 0u);
}

} // namespace
