#include "render/ORectList.h"

#include "render/RectOps.h"

#include <new>

ORectList* ORectList::Create(u16 capacity)
{
    auto* list = new (std::nothrow) ORectList();
    if (list == nullptr)
        return nullptr;
    list->data = new (std::nothrow) ORect[capacity == 0 ? 1 : capacity];
    if (list->data == nullptr)
    {
        delete list;
        return nullptr;
    }
    for (u32 i = 0; i < capacity; ++i)
        list->data[i] = MakeRect(0, 0, 0, 0);
    // Only the first 32767 entries are reachable through the signed count.
    list->capacity = static_cast<i16>(capacity > 0x7FFF ? 0x7FFF : capacity);
    return list;
}

ORectList::~ORectList()
{
    delete[] data;
    data = nullptr;
}

i16 ORectList::Append(const ORect* r)
{
    if (count >= capacity)
        return -1;
    data[count] = *r;
    return count++;
}

void ORectList::Remove(i16 i)
{
    // Removing from an empty list, or past its end, would drive the count
    // negative or copy outside the block.
    if (i < 0 || i >= count)
        return;
    --count;
    data[i] = data[count];
}

void ORectList::AddMerged(ORectList* list, const ORect* r)
{
    ORect m = *r;
    bool merged = true;
    // A grown rectangle may now meet one that an earlier pass left alone, so
    // passes repeat until one absorbs nothing.
    while (merged)
    {
        merged = false;
        i16 i = 0;
        while (i < list->count)
        {
            if (RectsOverlap(list->data[i], m))
            {
                RectUnion(&m, &list->data[i], &m);
                list->Remove(i);
                merged = true;
            }
            else
            {
                ++i;
            }
        }
    }
    list->Append(&m);
}

void ORectList::AddMergedTouching(ORectList* list, const ORect* r)
{
    ORect m = MakeRect(static_cast<i16>(r->left - 1), static_cast<i16>(r->top - 1),
                       static_cast<i16>(r->right + 1), static_cast<i16>(r->bottom + 1));
    i16 i = 0;
    while (i < list->count)
    {
        if (RectsOverlap(list->data[i], m))
        {
            RectUnion(&m, &list->data[i], &m);
            list->Remove(i);
        }
        else
        {
            ++i;
        }
    }
    list->Append(&m);
}
