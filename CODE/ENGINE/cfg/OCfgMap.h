#pragma once
// A flat configuration store: one sorted map from a dotted key (the names of
// the enclosing sections and the value's own name joined by '.') to a stored
// text with the comment that stood behind it. Values are typed by how they
// are written: 12, 0x1f, 1.5, [1,2,3], "text with \"escapes\"", and string
// arrays {[a,b][c,d]}. The text has sections of its own:
//
//     video = {            // display settings
//         width=800
//         modes = {[8,0,0][6,0,0]}
//     }
//
// Parsing shares one pending comment for the whole module, so no two parses
// may overlap.
#include "core/Types.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

struct OCfgMapEntry
{
    // The text as written, quotes and brackets included.
    std::string value;
    // What followed "//" on the value's line, leading blank included.
    std::string comment;
    // How many values were read before this one.
    u32 order = 0;
    // 1 for a string array, 2 for any other value read from a text; entries
    // made by the setters keep 0.
    u32 kind = 0;
};

class OCfgMap
{
public:
    // 1 after a lookup of a missing key or a failed load, parse or save.
    u32 failed = 0;
    std::map<std::string, OCfgMapEntry> entries;
    // (full dotted name, comment) per section opening, in the order read.
    std::vector<std::pair<std::string, std::string>> sections;
    // Full keys of the values in the order read; a key read twice is listed
    // twice.
    std::vector<std::string> keys;
    // The whole text being parsed.
    std::string text;

    OCfgMap() = default;
    OCfgMap(const OCfgMap& other);
    OCfgMap& operator=(const OCfgMap&) = default;

    // Results: 0 success, 1 failure. Load fails on a file longer than
    // kMaxWholeFileLength (64 MiB) as on one that cannot be read.
    int Load(const char* path);
    int LoadFromText(const char* source);
    int Save(const char* path);
    // Also stored in *out when out is not null.
    std::string SaveToString(std::string* out);
    int Parse();

    // Getters clear failed first and set it for a missing key. Arrays and
    // strings they return are new[] blocks that the caller frees with
    // delete[].
    int GetInt(const char* key, int defaultValue);
    float GetFloat(const char* key, float defaultValue);
    int* GetIntArray(const char* key, int* count, char separator);
    float* GetFloatArray(const char* key, int* count, char separator);
    char* GetString(const char* key, const char* defaultValue);
    // Also stored in *out when out is not null.
    std::string GetString(std::string* out, const char* key, std::string defaultValue);
    // *count rows of *width bytes, each padded with the separator, then a NUL.
    char* GetStringArray(const char* key, int* width, int* count, char separator, const char* defaultValue);
    const char* GetRaw(const char* key);
    const char* GetComment(const char* key);
    const char* GetSectionComment(const char* section);

    void SetInt(const char* key, int v, const char* comment, bool hex);
    void SetFloat(const char* key, float v, const char* comment);
    void SetIntArray(const char* key, const int* v, int count, const char* comment, char separator);
    void SetFloatArray(const char* key, const float* v, int count, const char* comment, char separator);
    void SetString(const char* key, const std::string& v, const char* comment);
    void SetStringArray(const char* key, const char* rows, int width, int count, const char* comment,
                        char separator);
    // Only on an existing key; a missing one sets failed and stores nothing.
    void SetRaw(const char* key, const char* value, const char* comment);

    bool HasSection(const char* section) const;
    std::vector<std::string> GetSubsections(const char* section) const;
    std::vector<std::string> GetKeys(const char* section) const;

private:
    void Store(const char* key, std::string value, const char* comment);
    template <typename T, typename Convert>
    T* GetNumbers(const char* key, int* count, char separator, bool skipControl, Convert convert);
    std::string Format() const;
};
