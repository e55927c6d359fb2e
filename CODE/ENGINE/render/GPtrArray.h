#pragma once
#include "core/Types.h"

// Fixed-capacity array of borrowed pointers: the display list shared by every
// screen, and the glyph list of bitmap text. The block is allocated once and
// never grows, so adding and removing during a frame allocate nothing.
// Counts and indices are signed 16-bit, as every caller compares them.
class GPtrArray
{
public:
    void** data = nullptr;
    i16 count = 0;
    i16 capacity = 0;

    // A new array with room for `capacity` pointers, or null when either the
    // header or the block cannot be allocated.
    static GPtrArray* Create(u16 capacity);
    static GPtrArray* CreateTwin(u16 capacity);

    // Frees the pointer block only: the objects belong to whoever added them.
    ~GPtrArray();

    GPtrArray() = default;
    GPtrArray(const GPtrArray&) = delete;
    GPtrArray& operator=(const GPtrArray&) = delete;

    // Index of the stored item, or -1 (0xFFFF) when the array is full.
    i16 Add(void* const& item);
    i16 GetCount() const { return count; }
    // No range check: callers index below GetCount().
    void** At(i16 i) { return &data[i]; }
    // Removes n entries from index on, keeping the order of the rest.
    void Erase(i16 index, i16 n);
    void Clear() { count = 0; }
};
