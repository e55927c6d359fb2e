#include "GAME/GPlayerRecords.h"

#include "services/OSaveFile.h"

#include <cstring>

template <u32 Number, u32 Size> u32 GSavedRecord<Number, Size>::Load(const char* folder)
{
    std::memset(record, 0, sizeof record);
    return ReadSaveFile(Number, record, Size, folder);
}

template <u32 Number, u32 Size> u32 GSavedRecord<Number, Size>::Save(const char* folder) const
{
    return WriteSaveFile(Number, record, Size, folder);
}

template class GSavedRecord<100, 1000>;
template class GSavedRecord<50000, 252>;
