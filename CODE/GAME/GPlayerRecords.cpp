#include "GAME/GPlayerRecords.h"

#include <cstring>

template <u32 Number, u32 Size> u32 GSavedRecord<Number, Size>::Load(const char* folder)
{
    std::memset(record, 0, sizeof record);
    loadState = ReadSaveFileState(Number, record, Size, folder, &loadError);
    return loadState == SaveFileState::Read ? 1 : 0;
}

template <u32 Number, u32 Size> u32 GSavedRecord<Number, Size>::Save(const char* folder) const
{
    if (loadState == SaveFileState::Unreadable)
        return 0;
    return WriteSaveFile(Number, record, Size, folder);
}

template class GSavedRecord<100, 1000>;
template class GSavedRecord<50000, 252>;
