#include "services/OFormatNumber.h"

i32 FormatNumber(char* out, i32 value, char separator)
{
    char* p = out;
    // The magnitude as unsigned, so the most negative value needs no special case.
    u32 magnitude = static_cast<u32>(value);
    if (value < 0)
    {
        *p++ = '-';
        magnitude = 0u - magnitude;
    }
    char* start = p;
    int sinceSeparator = 0;
    do
    {
        if (sinceSeparator == 3)
        {
            *p++ = separator;
            sinceSeparator = 0;
        }
        *p++ = static_cast<char>('0' + magnitude % 10);
        ++sinceSeparator;
        magnitude /= 10;
    } while (magnitude != 0);
    for (char *a = start, *b = p - 1; a < b; ++a, --b)
    {
        char t = *a;
        *a = *b;
        *b = t;
    }
    *p = 0;
    return static_cast<i32>(p - start);
}
