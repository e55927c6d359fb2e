#pragma once
#include "core/Types.h"
#include "render/OEngine.h"

// The game screen. The board and its view join it later; what the engine
// reads of it today is the game mode.
class GGame : public OEngine
{
public:
    enum GameMode : u32
    {
        kQuest = 0,
        kTimeTrial = 1,
        kMastering = 2,
        kQuestLevelFromMap = 3
    };

    u32 gameMode = kQuest;

    u32 GetGameMode() const { return gameMode; }
};
