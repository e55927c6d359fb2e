#include "GAME/GPlayerRecords.h"

#include "INTERFACE/GGame.h"
#include "INTERFACE/GGlobal.h"
#include "INTERFACE/GWindow.h"
#include "services/OSaveFile.h"

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

// The record holds the three slots one after the other from its start.
static_assert(GPlayerProfile::kSlotCount * GGameSlot::kSize <= GPlayerProfile::kRecordSize);

GPlayerProfile::GPlayerProfile()
{
    BindSlots();
}

GPlayerProfile::GPlayerProfile(const GPlayerProfile& other) : GSavedRecord(other), owner(other.owner)
{
    BindSlots();
}

GPlayerProfile& GPlayerProfile::operator=(const GPlayerProfile& other)
{
    if (this == &other)
        return *this;
    std::memcpy(record, other.record, sizeof record);
    owner = other.owner;
    return *this;
}

void GPlayerProfile::BindSlots()
{
    for (u32 s = 0; s < kSlotCount; ++s)
        slots[s].bytes = record + s * GGameSlot::kSize;
}

// Reads only inline members of the application object, the window and the
// game screen, so the game library links none of the interface library.
GGameSlot* GPlayerProfile::GetCurrentSlot(i32)
{
    if (!owner || !owner->window)
        return nullptr;
    const GGame* game = owner->window->GetGame();
    if (!game)
        return nullptr;
    switch (game->GetGameMode())
    {
    case GGame::kQuest:
    case GGame::kQuestLevelFromMap:
        return &slots[0];
    case GGame::kTimeTrial:
        return &slots[1];
    case GGame::kMastering:
        return &slots[2];
    default:
        return nullptr;
    }
}
