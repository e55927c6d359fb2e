#include "platform/MessageQueue.h"

#include "platform/Backend.h"
#include "platform/Termination.h"

#include <algorithm>
#include <map>

namespace platform
{

namespace
{

struct Binding
{
    WndProc proc;
    void* user;
};

// Procedures of the live windows. Every window lives on the window thread, so
// the table needs no lock.
std::map<WindowId, Binding>& Bindings()
{
    static std::map<WindowId, Binding> bindings;
    return bindings;
}

Rect Union(const Rect& a, const Rect& b)
{
    return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

// Native events, then a termination request, which asks every window to
// close as its close box would. A request that arrives before any window
// exists waits for one.
void Pump(MessageQueue& queue)
{
    GetBackend().PumpEvents(queue);
    if (!Bindings().empty() && TakeTerminationRequest())
    {
        for (const auto& [id, binding] : Bindings())
            queue.Post(Message{id, WM_CLOSE, 0, 0});
    }
}

} // namespace

// Called by SetBackend: windows of the old backend are gone with it.
void ForgetAllWindows()
{
    Bindings().clear();
    MessageQueue::ForThisThread().Clear();
}

MessageQueue& MessageQueue::ForThisThread()
{
    thread_local MessageQueue queue;
    return queue;
}

void MessageQueue::Post(const Message& message)
{
    if (message.message == WM_QUIT)
    {
        PostQuit(static_cast<i32>(message.wParam));
        return;
    }
    posted_.push_back(message);
}

void MessageQueue::PostQuit(i32 exitCode)
{
    quitPending_ = true;
    quitCode_ = exitCode;
}

bool MessageQueue::TakeNext(Message* out, bool remove)
{
    if (!posted_.empty())
    {
        if (out)
            *out = posted_.front();
        if (remove)
            posted_.pop_front();
        return true;
    }
    if (quitPending_)
    {
        if (out)
            *out = Message{0, WM_QUIT, static_cast<WParam>(static_cast<u32>(quitCode_)), 0};
        if (remove)
            quitPending_ = false;
        return true;
    }
    if (!invalid_.empty())
    {
        // The paint message stays due until the area is validated (BeginPaint).
        if (out)
            *out = Message{invalid_.front().window, WM_PAINT, 0, 0};
        return true;
    }
    return false;
}

bool MessageQueue::Peek(Message* out, bool remove)
{
    Pump(*this);
    return TakeNext(out, remove);
}

bool MessageQueue::TakeQuit(i32* exitCode)
{
    if (!quitPending_)
        return false;
    quitPending_ = false;
    if (exitCode)
        *exitCode = quitCode_;
    return true;
}

bool MessageQueue::WaitForInput(u32 timeoutMs)
{
    Pump(*this);
    if (!posted_.empty())
        return true;
    GetBackend().WaitEvents(timeoutMs);
    Pump(*this);
    return !posted_.empty();
}

void MessageQueue::Invalidate(WindowId window, const Rect& rect)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    for (Invalid& entry : invalid_)
    {
        if (entry.window == window)
        {
            entry.rect = Union(entry.rect, rect);
            return;
        }
    }
    invalid_.push_back(Invalid{window, rect});
}

bool MessageQueue::TakeInvalid(WindowId window, Rect* out)
{
    for (auto it = invalid_.begin(); it != invalid_.end(); ++it)
    {
        if (it->window == window)
        {
            if (out)
                *out = it->rect;
            invalid_.erase(it);
            return true;
        }
    }
    return false;
}

bool MessageQueue::HasInvalid(WindowId window) const
{
    return std::any_of(invalid_.begin(), invalid_.end(),
                       [&](const Invalid& i) { return i.window == window; });
}

void MessageQueue::ForgetWindow(WindowId window)
{
    std::erase_if(posted_, [&](const Message& m) { return m.window == window; });
    std::erase_if(invalid_, [&](const Invalid& i) { return i.window == window; });
}

void MessageQueue::Clear()
{
    posted_.clear();
    invalid_.clear();
    quitPending_ = false;
    quitCode_ = 0;
}

WindowId CreateWindow(const char* title, u32 style, i32 x, i32 y, i32 width, i32 height, WndProc proc,
                      void* user)
{
    Backend& backend = GetBackend();
    WindowId id = backend.CreateWindow(title ? title : "", style, x, y, width, height);
    if (id == 0)
        return 0;
    Bindings()[id] = Binding{proc, user};
    if (SendMessage(id, WM_CREATE, 0, 0) == -1)
    {
        Bindings().erase(id);
        backend.DestroyWindow(id);
        MessageQueue::ForThisThread().ForgetWindow(id);
        return 0;
    }
    return id;
}

void DestroyWindow(WindowId window)
{
    if (!IsWindow(window))
        return;
    SendMessage(window, WM_DESTROY, 0, 0);
    Bindings().erase(window);
    GetBackend().DestroyWindow(window);
    MessageQueue::ForThisThread().ForgetWindow(window);
}

bool IsWindow(WindowId window)
{
    return window != 0 && Bindings().count(window) != 0;
}

LResult SendMessage(WindowId window, u32 message, WParam wParam, LParam lParam)
{
    auto it = Bindings().find(window);
    Message m{window, message, wParam, lParam};
    if (it == Bindings().end())
        return 0;
    if (!it->second.proc)
        return DefWindowProc(m);
    return it->second.proc(m, it->second.user);
}

LResult SendSetText(WindowId window, const char* text)
{
    return SendMessage(window, WM_SETTEXT, 0, static_cast<LParam>(reinterpret_cast<intptr_t>(text)));
}

LResult DispatchMessage(const Message& message)
{
    if (message.message == WM_QUIT || message.window == 0)
        return 0;
    LResult result = SendMessage(message.window, message.message, message.wParam, message.lParam);
    // A procedure that ignored its paint message would be handed the same one
    // for ever; the area counts as painted once the message was dispatched.
    if (message.message == WM_PAINT)
        MessageQueue::ForThisThread().TakeInvalid(message.window, nullptr);
    return result;
}

LResult DefWindowProc(const Message& message)
{
    switch (message.message)
    {
    case WM_CLOSE:
        DestroyWindow(message.window);
        return 0;
    case WM_SETTEXT:
        if (IsWindow(message.window))
        {
            // The message carries its text as a pointer in lParam.
            // NOLINTNEXTLINE(performance-no-int-to-ptr)
            const char* text = reinterpret_cast<const char*>(static_cast<intptr_t>(message.lParam));
            GetBackend().SetWindowCaption(message.window, text ? text : "");
        }
        return 1;
    case WM_PAINT:
        MessageQueue::ForThisThread().TakeInvalid(message.window, nullptr);
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4: bit 29 of lParam says Alt was held.
        if (message.wParam == VK_F1 + 3 && (message.lParam & (LParam{1} << 29)))
            SendMessage(message.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        switch (message.wParam & 0xFFF0)
        {
        case SC_CLOSE:
            SendMessage(message.window, WM_CLOSE, 0, 0);
            return 0;
        case SC_MINIMIZE:
            GetBackend().ShowWindow(message.window, SW_MINIMIZE);
            return 0;
        case SC_RESTORE:
            GetBackend().ShowWindow(message.window, SW_RESTORE);
            return 0;
        default:
            return 0;
        }
    default:
        return 0;
    }
}

void PostMessage(WindowId window, u32 message, WParam wParam, LParam lParam)
{
    MessageQueue::ForThisThread().Post(Message{window, message, wParam, lParam});
}

void PostQuitMessage(i32 exitCode)
{
    MessageQueue::ForThisThread().PostQuit(exitCode);
}

void InvalidateRect(WindowId window, const Rect* rect)
{
    if (!IsWindow(window))
        return;
    Rect area;
    if (rect)
    {
        area = *rect;
    }
    else
    {
        i32 w = 0, h = 0;
        GetBackend().GetClientSize(window, &w, &h);
        area = Rect{0, 0, w, h};
    }
    MessageQueue::ForThisThread().Invalidate(window, area);
}

void UpdateWindow(WindowId window)
{
    if (MessageQueue::ForThisThread().HasInvalid(window))
        DispatchMessage(Message{window, WM_PAINT, 0, 0});
}

bool BeginPaint(WindowId window, Rect* paintRect)
{
    Rect area{};
    bool had = MessageQueue::ForThisThread().TakeInvalid(window, &area);
    if (paintRect)
        *paintRect = area;
    return had;
}

WindowId GetActiveWindow()
{
    return GetBackend().GetActiveWindow();
}

std::string GetWindowCaption(WindowId window)
{
    return GetBackend().GetWindowCaption(window);
}

} // namespace platform
