#pragma once
#include "core/ORect.h"
#include "core/Types.h"

// The dirty-rectangle list: a fixed array of rectangles into which the redraw
// merges every area it must repaint, so that no two stored rectangles overlap
// and each pixel is filled and drawn once per frame.
class ORectList
{
public:
    ORect* data = nullptr;
    i16 count = 0;
    i16 capacity = 0;

    // A new list of `capacity` zeroed rectangles, or null when out of memory.
    static ORectList* Create(u16 capacity);
    ~ORectList();

    ORectList() = default;
    ORectList(const ORectList&) = delete;
    ORectList& operator=(const ORectList&) = delete;

    // Index of the copy, or -1 when the list is full.
    i16 Append(const ORect* r);
    // No range check: callers index below GetCount().
    ORect* At(i16 i) { return &data[i]; }
    // The last element takes the place of element i, so order is not kept.
    void Remove(i16 i);
    i16 GetCount() const { return count; }
    void Clear() { count = 0; }

    // Adds r, absorbing every rectangle that shares a pixel with it (and those
    // the grown rectangle then meets), so the list stays free of overlaps.
    // When the list is full and nothing merged, r is dropped.
    static void AddMerged(ORectList* list, const ORect* r);
    // As AddMerged, but r is first grown by one pixel on every side, so that
    // rectangles which only touch it are absorbed too; one pass only, and the
    // stored rectangle keeps the margin.
    static void AddMergedTouching(ORectList* list, const ORect* r);
};
