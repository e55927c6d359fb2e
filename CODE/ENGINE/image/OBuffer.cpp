#include "image/OBuffer.h"

#include <new>

OBuffer* OBuffer::Create(i32 size, u8* external)
{
    OBuffer* buffer = new (std::nothrow) OBuffer;
    if (buffer)
        buffer->Attach(size, external);
    return buffer;
}

void OBuffer::Attach(i32 size, u8* external)
{
    if (external)
    {
        data = external;
        owned = 0;
    }
    else
    {
        // A negative size would wrap to a huge request; treat it as a failed
        // allocation, which leaves the buffer without a block.
        data = size >= 0 ? new (std::nothrow) u8[static_cast<size_t>(size)] : nullptr;
        owned = data ? 1 : 0;
    }
    refCount = 0;
}

void OBuffer::Free()
{
    if (owned)
    {
        delete[] data;
        data = nullptr;
        owned = 0;
    }
}
