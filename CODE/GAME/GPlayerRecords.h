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

// The player profile: save file 100, 1000 bytes.
class GPlayerProfile : public GSavedRecord<100, 1000>
{
};

// The options record: save file 50000, 252 bytes.
class GOptions : public GSavedRecord<50000, 252>
{
};

extern template class GSavedRecord<100, 1000>;
extern template class GSavedRecord<50000, 252>;
