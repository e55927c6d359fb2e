#include "platform/SdlBackend.h"

namespace platform
{

struct SdlBackend::Impl
{
};

SdlBackend::SdlBackend() : impl_(std::make_unique<Impl>()) {}
SdlBackend::~SdlBackend() = default;
bool SdlBackend::IsReady() const { return false; }
WindowId SdlBackend::CreateWindow(const char*, u32, i32, i32, i32, i32) { return 0; }
void SdlBackend::DestroyWindow(WindowId) {}
void SdlBackend::SetWindowStyle(WindowId, u32) {}
void SdlBackend::SetWindowCaption(WindowId, const char*) {}
std::string SdlBackend::GetWindowCaption(WindowId) { return {}; }
void SdlBackend::SetWindowPos(WindowId, i32, i32, i32, i32, bool) {}
void SdlBackend::ShowWindow(WindowId, u32) {}
bool SdlBackend::GetClientSize(WindowId, i32*, i32*) { return false; }
WindowId SdlBackend::GetActiveWindow() { return 0; }
void SdlBackend::Present(WindowId, const PixelBlock&, i32, i32, i32, i32) {}
void SdlBackend::GetScreenSize(i32* w, i32* h) { *w = 800; *h = 600; }
bool SdlBackend::SetDisplayMode(WindowId, i32, i32, i32) { return false; }
void SdlBackend::RestoreDisplayMode() {}
i32 SdlBackend::ShowCursor(bool) { return 0; }
void SdlBackend::ClipCursor(const Rect*) {}
void SdlBackend::SetCursorPos(i32, i32) {}
void SdlBackend::GetCursorPos(i32* x, i32* y) { *x = *y = 0; }
bool SdlBackend::GetClipboardText(std::string*) { return false; }
bool SdlBackend::SetClipboardText(const std::string&) { return false; }
i32 SdlBackend::MessageBox(WindowId, const char*, const char*, u32) { return IDOK; }
bool SdlBackend::IsKeyToggled(u32) { return false; }
void SdlBackend::SetScreenSaverActive(bool) {}
void SdlBackend::PumpEvents(MessageQueue&) {}
void SdlBackend::WaitEvents(u32) {}
u64 SdlBackend::ClockNs() { return 0; }
u32 SdlKeyToVirtualKey(i32, i32) { return 0; }

} // namespace platform
