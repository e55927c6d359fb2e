#pragma once
#include "core/Types.h"

// Decimal text of value with separator between groups of three digits from
// the right (1234567 and ',' give "1,234,567"); a negative value gets a
// leading '-'. out needs 15 bytes. Returns the characters written after the
// sign (digits and separators).
i32 FormatNumber(char* out, i32 value, char separator);
