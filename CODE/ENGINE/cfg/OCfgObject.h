#pragma once
// The cfg text format: named parameters with one or more text values and
// named objects holding parameters and objects in turn, parsed in place from
// a writable buffer into a tree that callers query by dotted paths ("a.b.c":
// the first object a, its first object b, its parameter c).
//
// The module keeps one last-error code and one work buffer per numeric
// accessor for the whole process, so no two calls may overlap; every cfg node
// lives on the window thread.
#include "core/ORandom.h"
#include "core/Types.h"

#include <cstdio>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class OCfgObject;

// One parameter value: a heap copy of its bytes with a terminating NUL.
class OCfgValue
{
public:
    char* text;

    // A null source is stored as the empty text, so text is never null.
    // Not explicit: a value stands wherever its text does.
    OCfgValue(const char* source);
    OCfgValue(const OCfgValue& other);
    OCfgValue(OCfgValue&& other) noexcept;
    OCfgValue& operator=(const OCfgValue& other);
    OCfgValue& operator=(OCfgValue&& other) noexcept;
    ~OCfgValue();

    // No checks and no error code: "0x" at the very start reads hexadecimal
    // (0 when no hex digit follows), anything else reads as a signed decimal
    // up to its first non-digit.
    int ToInt() const;
    float ToFloat() const;
};

// std::string orders by unsigned bytes, a prefix before every longer name:
// the order in which cursors and writers walk the names. The transparent
// comparison lets path lookups search by pieces of the path without making
// a string of each.
using OCfgParamMap = std::map<std::string, std::vector<OCfgValue>, std::less<>>;
using OCfgObjectMap = std::map<std::string, std::vector<OCfgObject>, std::less<>>;

// A position in one parameter's value list; index -1 is the end.
class OCfgValueIter
{
public:
    std::vector<OCfgValue>* values;
    i32 index;

    OCfgValueIter(std::vector<OCfgValue>* list, i32 i) : values(list), index(i) {}
    void Next();
    // Compares the indexes only, so any iterator at the end matches ValuesEnd.
    bool operator!=(const OCfgValueIter& other) const { return index != other.index; }
    bool operator==(const OCfgValueIter& other) const { return index == other.index; }
    // Null at the end, without a list, or past the list's count.
    OCfgValue* Get() const;
};

// A position in either map of a node. Lookups that fail anywhere below a node
// give a cursor at the end, and any two cursors at the end compare equal, so
// callers test a lookup against ObjectsEnd or ParamsEnd of whatever node is
// at hand.
class OCfgCursor
{
public:
    OCfgParamMap* paramMap;
    OCfgObjectMap* objectMap;
    bool atEnd;
    OCfgParamMap::iterator paramPos;
    OCfgObjectMap::iterator objectPos;

    OCfgCursor(OCfgParamMap* map, OCfgParamMap::iterator pos);
    OCfgCursor(OCfgObjectMap* map, OCfgObjectMap::iterator pos);

    // Null at the end.
    const char* Name() const;
    // The i-th object of the current objects entry; an i beyond the entry's
    // count throws std::out_of_range. Null on a params cursor or at the end.
    OCfgObject* GetObject(u32 i) const;
    void Next();
    bool operator==(const OCfgCursor& other) const;
    bool operator!=(const OCfgCursor& other) const { return !(*this == other); }
    // On a params entry: index 0 and the end. At the end of a map or on an
    // objects cursor both are the end, so a walk over them is empty.
    OCfgValueIter ValuesBegin() const;
    OCfgValueIter ValuesEnd() const;
};

class OCfgObject
{
public:
    // Every list in either map holds at least one element.
    OCfgParamMap params;
    OCfgObjectMap objects;
    // Only Scramble and ScrambleString draw from it.
    ORandom random;

    // Objects nested deeper than this are refused as a malformed text: the
    // parser, the writers and the destructor all recurse once per level.
    static constexpr int kMaxDepth = 256;

    OCfgObject() = default;
    ~OCfgObject();
    OCfgObject(const OCfgObject&) = default;
    OCfgObject(OCfgObject&&) noexcept = default;
    OCfgObject& operator=(const OCfgObject&) = default;
    OCfgObject& operator=(OCfgObject&&) noexcept = default;

    // --- parsing -----------------------------------------------------------

    // Parses text[0..length-1] into this node, adding to what it holds.
    // text[length] is read as well (loaders put a NUL there) and the buffer
    // is written to: tokens are ended in place. 1 on success, 0 on failure;
    // the module's error code says why. Null text or a length of 0 or less
    // returns 0 and leaves the error code alone.
    int Parse(char* text, int length);
    // The statements of one range; the byte at end is read too (the NUL
    // after the text, or an object's closing brace). Returns an error code.
    u32 ParseBody(char* begin, char* end);
    // Over blanks (9 to 13, 32, ';' and ','), '#' and "//" line comments and
    // nested "/*" block comments; never past end.
    static void SkipBlanks(char** position, char* end);
    // One bare or quoted token, then the blanks after it; an error code.
    static u32 ReadToken(char** position, char* end, char** tokenStart, char** tokenEnd);
    // One object statement, *position on its '{'.
    u32 ParseObject(char** position, char* end, char* nameStart, char* nameEnd);
    void AddParam(const char* name, const char* value);

    // --- reading by dotted path --------------------------------------------

    bool IsObject(const char* path) const;
    bool IsParam(const char* path) const;
    // The first value's text, else the default (9 recorded).
    std::string Get(const std::string& path, const char* defaultValue) const;
    // Every value's text; 0, or 9 when the path names nothing.
    int GetArray(const std::string& path, std::vector<std::string>* out) const;
    int GetI(const std::string& path, int defaultValue) const;
    int GetIArray(const std::string& path, std::vector<int>* out) const;
    float GetF(const std::string& path, float defaultValue) const;
    int GetFArray(const std::string& path, std::vector<float>* out) const;
    static u32 GetLastError();
    // The message of an error code; null for a code outside the table.
    static const char* GetErrorMessage(u32 code);

    // --- cursors -------------------------------------------------------------

    OCfgCursor FindObject(const char* path);
    OCfgCursor FindParam(const char* path);
    OCfgCursor ObjectsBegin();
    OCfgCursor ObjectsEnd();
    OCfgCursor ParamsEnd();

    // --- editing -------------------------------------------------------------
    // Plain names, not paths.

    OCfgObject* GetOrAddObject(const std::string& name);
    OCfgValue* GetOrAddParam(const std::string& name);
    void RemoveParam(const char* name);
    void RemoveObject(const char* name);
    void Clear();
    void Reset();
    // Every value list of the subtree ascending by strcmp.
    void SortValues();
    // XOR with the low byte of successive draws of this node's generator.
    char* Scramble(char* data, int length);
    char* ScrambleString(char* text);
    int TextLength() const;
    int MemorySize() const;
    int CountParams() const;
    int CountObjects() const;
    void Compact();

    // --- writing -------------------------------------------------------------

    // True when text reads back as one bare token.
    static bool IsPlainToken(const char* text);
    // name=value lines, width x level blanks of indentation; always 1.
    int WriteToStream(std::ostream& out, int width, int level) const;
    // A new char[] of exactly *length bytes (no NUL), freed by the caller
    // with delete[]; 0 and nothing allocated for an empty node or null
    // arguments.
    int SaveToBuffer(char** buffer, int* length) const;
    // "name = value" lines. A null file opens path ("w"), or the standard
    // output when path is null too; the file is closed at the end whenever
    // path is given. A path that cannot be opened writes nothing and records
    // error 1 ("Can't open cfg file").
    void SaveToFile(const char* path, int width, int level, FILE* file) const;

private:
    u32 ParseBodyAt(char* begin, char* end, int depth);
    u32 ParseObjectAt(char** position, char* end, char* nameStart, char* nameEnd, int depth);
};
