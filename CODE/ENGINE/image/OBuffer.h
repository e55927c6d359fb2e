#pragma once
#include "core/Types.h"

// A block of pixel or alpha bytes shared between images by a reference count.
// Ownership is manual on purpose: images, the image store's shared-buffer list
// and the run-time slot table all hold plain pointers, and whoever takes the
// count below 1 on a release deletes the buffer. The count is a plain 16-bit
// integer because images live on the window thread only.
class OBuffer
{
public:
    u8* data = nullptr;
    i16 refCount = 0;
    // 1 when `data` was allocated here and is freed here; 0 for an outside
    // block this buffer only points at.
    u8 owned = 0;

    OBuffer() = default;
    OBuffer(const OBuffer&) = delete;
    OBuffer& operator=(const OBuffer&) = delete;
    ~OBuffer() { Free(); }

    // A new buffer over `external`, or over a fresh block of `size` bytes
    // (not initialised) when `external` is null. The count starts at 0: the
    // first holder takes its reference with AddRef.
    static OBuffer* Create(i32 size, u8* external);

    void Attach(i32 size, u8* external);
    OBuffer* AddRef()
    {
        ++refCount;
        return this;
    }
    // True once the count is below 1; the caller then deletes the buffer.
    bool Release()
    {
        --refCount;
        return refCount < 1;
    }
    void Free();
};
