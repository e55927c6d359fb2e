#include "platform/SdlBackend.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace platform;

namespace
{

TEST(SdlKeysTest, KeysBecomeTheirVirtualKeyCodes)
{
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_A, SDLK_a, false), u32{'A'});
    // Letters follow the layout: the key in the place of Q types 'a' in AZERTY.
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_Q, SDLK_a, false), u32{'A'});
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_0, SDLK_0, false), u32{'0'});
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_UP, SDLK_UP, false), VK_UP);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, false), VK_PRIOR);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, false), VK_SHIFT);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_RCTRL, SDLK_RCTRL, false), VK_CONTROL);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_RALT, SDLK_RALT, false), VK_MENU);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_F4, SDLK_F4, false), VK_F1 + 3);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_F24, SDLK_F24, false), VK_F24);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, false), VK_RETURN);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_NUMLOCKCLEAR, SDLK_NUMLOCKCLEAR, false), VK_NUMLOCK);
    EXPECT_EQ(SdlKeyToVirtualKey(SDL_SCANCODE_UNKNOWN, SDLK_UNKNOWN, false), 0u);
}

TEST(SdlKeysTest, TheKeypadIsDigitsWithNumLockAndMovementWithout)
{
    const SDL_Scancode keypad[11] = {SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8,     SDL_SCANCODE_KP_9,
                                     SDL_SCANCODE_KP_4, SDL_SCANCODE_KP_5,     SDL_SCANCODE_KP_6,
                                     SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2,     SDL_SCANCODE_KP_3,
                                     SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_PERIOD};
    const u32 on[11] = {VK_NUMPAD7, VK_NUMPAD8, VK_NUMPAD9, VK_NUMPAD4, VK_NUMPAD5, VK_NUMPAD6,
                        VK_NUMPAD1, VK_NUMPAD2, VK_NUMPAD3, VK_NUMPAD0, VK_DECIMAL};
    const u32 off[11] = {VK_HOME, VK_UP,   VK_PRIOR, VK_LEFT,   VK_CLEAR, VK_RIGHT,
                         VK_END,  VK_DOWN, VK_NEXT,  VK_INSERT, VK_DELETE};
    for (int i = 0; i < 11; ++i)
    {
        EXPECT_EQ(SdlKeyToVirtualKey(keypad[i], 0, true), on[i]) << i;
        EXPECT_EQ(SdlKeyToVirtualKey(keypad[i], 0, false), off[i]) << i;
    }
}

// SDL's offscreen driver: a real SDL backend with no display.
class SdlOffscreenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
        auto sdl = std::make_unique<SdlBackend>();
        if (!sdl->IsReady())
            GTEST_SKIP() << "SDL's offscreen video driver is not available";
        backend = sdl.get();
        SetBackend(std::move(sdl));
        window = backend->CreateWindow("ZORBLET", WS_POPUP | WS_CAPTION, 10, 10, 40, 30);
        ASSERT_NE(window, 0u);
        for (Uint32 id = 1; id < 1000 && !native; ++id)
        {
            SDL_Window* w = SDL_GetWindowFromID(id);
            if (w && std::strcmp(SDL_GetWindowTitle(w), "ZORBLET") == 0)
                native = w;
        }
        ASSERT_NE(native, nullptr);
    }
    void TearDown() override
    {
        SetBackend(nullptr);
        ::unsetenv("SDL_VIDEODRIVER");
    }
    std::vector<Message> Pump()
    {
        std::vector<Message> out;
        MessageQueue& q = MessageQueue::ForThisThread();
        backend->PumpEvents(q);
        Message m;
        while (q.Peek(&m, true))
            if (m.message != WM_PAINT)
                out.push_back(m);
            else
                q.TakeInvalid(m.window, nullptr);
        return out;
    }
    SdlBackend* backend = nullptr;
    WindowId window = 0;
    SDL_Window* native = nullptr;
};

TEST_F(SdlOffscreenTest, WindowsHaveTheirCaptionAndClientSize)
{
    EXPECT_EQ(backend->GetWindowCaption(window), "ZORBLET");
    backend->SetWindowCaption(window, "1.00 ms");
    EXPECT_EQ(backend->GetWindowCaption(window), "1.00 ms");
    i32 w = 0, h = 0;
    ASSERT_TRUE(backend->GetClientSize(window, &w, &h));
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    EXPECT_FALSE(backend->SetDisplayMode(window, 801, 599, 32)) << "no such mode";
    EXPECT_FALSE(backend->GetClientSize(window + 100, &w, &h));
}

TEST_F(SdlOffscreenTest, PresentedPixelsReachTheWindow)
{
    const u32 pitch = 40 * 3;
    std::vector<u8> bits(pitch * 31, 0);
    u8* p = &bits[5 * pitch + 7 * 3];
    p[0] = 0x11; // blue
    p[1] = 0x22; // green
    p[2] = 0x33; // red
    backend->Present(window, PixelBlock{bits.data(), pitch, 40, 31}, 0, 0, 40, 30);
    SDL_Surface* surface = SDL_GetWindowSurface(native);
    ASSERT_NE(surface, nullptr);
    Uint32 pixel = 0;
    std::memcpy(&pixel,
                static_cast<u8*>(surface->pixels) + 5 * surface->pitch + 7 * surface->format->BytesPerPixel,
                surface->format->BytesPerPixel);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(pixel, surface->format, &r, &g, &b);
    EXPECT_EQ(r, 0x33);
    EXPECT_EQ(g, 0x22);
    EXPECT_EQ(b, 0x11);
}

TEST_F(SdlOffscreenTest, NativeEventsBecomeWindowMessages)
{
    const Uint32 id = SDL_GetWindowID(native);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = id;
    e.key.keysym.scancode = SDL_SCANCODE_UP;
    e.key.keysym.sym = SDLK_UP;
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = id;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.clicks = 2;
    e.button.x = 12;
    e.button.y = 11;
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = id;
    std::strcpy(e.text.text, "a\xC3\xA9\xE2\x82\xAC"); // a, e acute, euro sign
    SDL_PushEvent(&e);
    e = SDL_Event{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);

    std::vector<Message> got = Pump();
    std::vector<u32> codes;
    for (const Message& m : got)
        codes.push_back(m.message);
    ASSERT_EQ(codes, (std::vector<u32>{WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDBLCLK, WM_CHAR, WM_CHAR, WM_CLOSE}));
    EXPECT_EQ(got[0].wParam, VK_UP);
    EXPECT_EQ(got[0].window, window);
    EXPECT_EQ(static_cast<u64>(got[1].lParam) >> 30, 3u);
    EXPECT_EQ(MouseX(got[2].lParam), 12);
    EXPECT_EQ(MouseY(got[2].lParam), 11);
    EXPECT_EQ(got[3].wParam, u64{'a'});
    EXPECT_EQ(got[4].wParam, 0xE9u) << "the euro sign has no 8-bit code and is left out";
}

TEST_F(SdlOffscreenTest, EnterAndAltKeysAreTranslatedLikeTheDesktopDoes)
{
    const Uint32 id = SDL_GetWindowID(native);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = id;
    e.key.keysym.scancode = SDL_SCANCODE_RETURN;
    e.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&e);
    e.key.keysym.scancode = SDL_SCANCODE_F4;
    e.key.keysym.sym = SDLK_F4;
    e.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&e);
    std::vector<Message> got = Pump();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, WM_KEYDOWN);
    EXPECT_EQ(got[1].message, WM_CHAR);
    EXPECT_EQ(got[1].wParam, 13u);
    EXPECT_EQ(got[2].message, WM_SYSKEYDOWN);
    EXPECT_NE(got[2].lParam & (LParam{1} << 29), 0) << "Alt held";
}

} // namespace
