#pragma once
#include "core/Types.h"
#include "services/OSaveFile.h"

// The player's records as the shell keeps them between runs: each is saved
// whole as a numbered save file in the profiles folder. Their fields belong
// to the game's own code; the shell reads them at start-up and writes back
// exactly what it holds.
template <u32 Number, u32 Size> class GSavedRecord
{
public:
    static constexpr u32 kSaveNumber = Number;
    static constexpr u32 kRecordSize = Size;

    u8 record[Size] = {};
    // How the last Load went, and the system's error number when the file
    // could not be read.
    SaveFileState loadState = SaveFileState::Missing;
    int loadError = 0;

    // Reads the record from the folder (null: the current folder). A missing
    // file leaves the record zero-filled; a short one keeps the bytes read and
    // zeros after them. 1 when the whole record was read.
    u32 Load(const char* folder);
    // 1 when the record was written whole. A record whose file exists but
    // could not be read is never written: what the file holds is unknown,
    // and the zeros in memory would replace the player's real record.
    u32 Save(const char* folder) const;
};

class GGlobal;

// One game mode's slot of the player profile, read in place from the
// profile's record: the least of it that the engine reads.
class GGameSlot
{
public:
    // Slot s holds the bytes [kSize s, kSize (s + 1)) of the record; the
    // level index and the level chosen on the map are little-endian u16 at
    // the offsets below.
    static constexpr u32 kSize = 16;
    static constexpr u32 kLevelOffset = 0;
    static constexpr u32 kChosenLevelOffset = 2;

    u8* bytes = nullptr;

    // The slot's level index, 0 to 39.
    u16 GetLevel() const { return Read(kLevelOffset); }
    // The level chosen on the map, 0 to 39.
    u16 GetChosenLevel() const { return Read(kChosenLevelOffset); }

private:
    u16 Read(u32 offset) const { return static_cast<u16>(bytes[offset] | bytes[offset + 1] << 8); }
};

// The player profile: save file 100, 1000 bytes.
class GPlayerProfile : public GSavedRecord<100, 1000>
{
public:
    static constexpr u32 kSlotCount = 3;

    // The application object that holds the profile, through which the
    // current game mode is found; null for a profile on its own.
    GGlobal* owner = nullptr;

    GPlayerProfile();
    // The slots view this profile's own record, so a copy gets its own views.
    GPlayerProfile(const GPlayerProfile& other);
    GPlayerProfile& operator=(const GPlayerProfile& other);

    // The slot of the current game mode: modes 0 and 3 share slot 0, mode 1
    // has slot 1 and mode 2 slot 2. Null when the profile has no owner, the
    // owner no window, the window no game, or the mode is none of these.
    // The argument is not read; callers pass -1.
    GGameSlot* GetCurrentSlot(i32 unused);

private:
    GGameSlot slots[kSlotCount];
    void BindSlots();
};

// The options record: save file 50000, 252 bytes.
class GOptions : public GSavedRecord<50000, 252>
{
};

extern template class GSavedRecord<100, 1000>;
extern template class GSavedRecord<50000, 252>;
