#pragma once
// How long a file the engine reads whole into memory may be: cfg texts, the
// flat cfg map, data-file pictures and the registry's file. Each of them is
// far smaller in use (a full-screen 32-bit picture is under 2 MiB, a cfg text
// a few KiB), while the length of a damaged or planted file is anyone's
// choice: a sparse file of a terabyte costs nothing on disk. A longer file is
// refused the way its loader refuses a broken one, before anything is sized
// by its length.
#include "core/Types.h"

inline constexpr u64 kMaxWholeFileLength = u64(64) << 20;
