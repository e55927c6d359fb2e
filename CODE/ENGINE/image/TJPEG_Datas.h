#pragma once
#include "core/Types.h"
#include "image/ODataCache.h"
#include "image/jpeg/TJPEG_Stream.h"

// A JPEG byte source over a data file "Data%d.dat" holding a plain JPEG
// scrambled with a rolling one-byte key. The file is read whole through a
// cache of its own; Read unscrambles as the decoder asks for bytes.
//
// The key starts at the file's first byte XORed with kStartKeyMask, so the
// first byte delivered is always the mask itself. The mask is 0xFF because a
// JPEG stream begins with FF D8: a file of any first byte then opens with the
// start-of-image marker, and the first byte is free to choose the key.
class TJPEG_Datas : public TJPEG_Stream
{
public:
    ODataCache* cache = nullptr;
    u8* data = nullptr;
    i32 size = 0;
    i32 position = 0;
    i16 capacity = 0;
    i32 number = -1;
    char* directory = nullptr;
    u8 key = 0;

    static constexpr u8 kStartKeyMask = 0xFF;

    TJPEG_Datas() = default;
    TJPEG_Datas(const TJPEG_Datas&) = delete;
    TJPEG_Datas& operator=(const TJPEG_Datas&) = delete;
    ~TJPEG_Datas() override;

    void Init(i16 newCapacity);
    // Loads the file through the cache and rewinds with a fresh key; false
    // when the file cannot be loaded (the cache is full, already holds it, or
    // it is missing, unreadable or empty).
    bool Open(i32 number, const char* directory);
    // Delivers at most max unscrambled bytes; the end flag is set once the
    // file is used up. Without an open file nothing is delivered.
    i32 Read(u8* buffer, i32 max, u32* end) override;
    void Close();

    // The key of the byte after one read with `key`: doubled, plus 1 when the
    // doubled value leaves 1 over 9, else plus 2, kept to a byte.
    static u8 NextKey(u8 key)
    {
        u32 t = 2u * key;
        t += (t % 9 == 1) ? 1 : 2;
        return static_cast<u8>(t);
    }
};

// A new source with a cache of `capacity` files and no file open; null when
// out of memory.
TJPEG_Datas* CreateJpegPackStream(i16 capacity);
