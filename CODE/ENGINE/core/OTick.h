#pragma once
// The millisecond tick count (random seeds, measured times). It reads the
// monotonic clock unless the platform layer has installed its own source,
// which it does so that tests on a fake clock see the same time everywhere.
#include "core/Types.h"

u32 GetTickCountMs();

using TickSource = u32 (*)();
// Null restores the monotonic clock.
void SetTickSource(TickSource source);
