#include "cfg/OCfgObject.h"

#include "core/StrFunctions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace
{

// The module's state, shared by every node.
u32 g_lastError = 0;

const char* const g_errorMessages[] = {
    "No errors",
    "Can't open cfg file",
    "Empty cfg file",
    "Not enough memory for reading cfg file",
    "Can't read file",
    "No name of parameter or object",
    "Not close bracket } for object",
    "Not close bracket ] for array",
    "No value after name",
    "Wrong name of parameter or object in Get",
    "Conversion error in GetI or GetF",
    "Wrong format of the cfg file",
    "Not close \" for string \"..\"",
    "Not close ' for string '..'",
};
constexpr u32 kErrorCount = sizeof(g_errorMessages) / sizeof(g_errorMessages[0]);

// The work buffers of the numeric accessors: they outlive each call so that
// a reading loop allocates once.
std::string g_workGetI;
std::string g_workGetF;
std::vector<std::string> g_workGetIArray;
std::vector<std::string> g_workGetFArray;

enum : u32
{
    kOk = 0,
    kErrCantOpen = 1,
    kErrNoName = 5,
    kErrObjectNotClosed = 6,
    kErrArrayNotClosed = 7,
    kErrWrongName = 9,
    kErrConversion = 10,
    kErrWrongFormat = 11,
    kErrDoubleQuote = 12,
    kErrSingleQuote = 13,
};

// ';' and ',' count as blanks, so separators between values and after
// statements are optional everywhere.
bool IsBlank(char c)
{
    return CharIsSpace(c) || c == ';' || c == ',';
}

bool IsTokenStart(char c)
{
    // 0x80 is left out on purpose: only 0x81 to 0xFF extend the set.
    return CharIsAlnum(c) || (c != 0 && std::strchr("._-+*/!?^", c) != nullptr) || static_cast<u8>(c) >= 0x81;
}

bool IsTokenChar(char c)
{
    return IsTokenStart(c) || c == '\'';
}

bool StartsHex(const char* text)
{
    return text[0] == '0' && text[1] == 'x';
}

// sscanf "%x" into a variable preset to fallback, for a text that starts
// with "0x". The preset survives when nothing converts, which for such a text
// means no hex digit follows the prefix: "0x" alone is only the beginning of
// a hex number, a matching failure, although glibc's scanf reads it as 0.
int ScanHex(const char* text, int fallback)
{
    unsigned int value = static_cast<unsigned int>(fallback);
    if (std::isxdigit(static_cast<unsigned char>(text[2])) != 0)
    {
        std::sscanf(text, "%x", &value);
    }
    return static_cast<int>(value);
}

// OCfgValue::ToInt and the integer arrays: no check, hex preset to 0.
int ToIntUnchecked(const char* text)
{
    return StartsHex(text) ? ScanHex(text, 0) : StrToIntDec(text);
}

float ToFloatUnchecked(const char* text)
{
    return static_cast<float>(std::atof(text));
}

bool PassesIntCheck(const char* text)
{
    char c = text[0];
    return c != 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'o' || c == 'O');
}

bool PassesFloatCheck(const char* text)
{
    char c = text[0];
    return c != 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
}

// Walks a dotted path down the first objects of each name. Returns the node
// that should hold the last name, or null when an object on the way is
// missing; *last receives the last name.
template <typename Node> Node* Resolve(Node* node, const char* path, std::string_view* last)
{
    if (path == nullptr)
    {
        return nullptr;
    }
    const char* dot;
    while ((dot = std::strchr(path, '.')) != nullptr)
    {
        auto it = node->objects.find(std::string_view(path, static_cast<size_t>(dot - path)));
        if (it == node->objects.end() || it->second.empty())
        {
            return nullptr;
        }
        node = &it->second.front();
        path = dot + 1;
    }
    *last = path;
    return node;
}

const std::vector<OCfgValue>* FindValues(const OCfgObject* node, const char* path)
{
    std::string_view last;
    node = Resolve(node, path, &last);
    if (node == nullptr)
    {
        return nullptr;
    }
    auto it = node->params.find(last);
    return it == node->params.end() ? nullptr : &it->second;
}

// Writes a NUL over *at for as long as the guard lives, so that a token can
// be copied as a C string, and puts the byte back afterwards.
class TempNul
{
public:
    explicit TempNul(char* at) : m_at(at), m_saved(*at) { *at = 0; }
    ~TempNul() { *m_at = m_saved; }
    TempNul(const TempNul&) = delete;
    TempNul& operator=(const TempNul&) = delete;

private:
    char* m_at;
    char m_saved;
};

long long Indent(int width, int level)
{
    long long n = static_cast<long long>(width) * level;
    return n > 0 ? n : 0;
}

void WriteToken(std::ostream& out, const char* text)
{
    if (OCfgObject::IsPlainToken(text))
    {
        out << text;
    }
    else
    {
        out << '"' << text << '"';
    }
}

} // namespace

// ---------------------------------------------------------------------------
// OCfgValue

OCfgValue::OCfgValue(const char* source)
{
    if (source == nullptr)
    {
        source = "";
    }
    size_t n = std::strlen(source);
    text = new char[n + 1];
    std::memcpy(text, source, n + 1);
}

OCfgValue::OCfgValue(const OCfgValue& other) : OCfgValue(other.text) {}

OCfgValue::OCfgValue(OCfgValue&& other) noexcept : text(other.text)
{
    other.text = nullptr;
}

OCfgValue& OCfgValue::operator=(const OCfgValue& other)
{
    if (this != &other)
    {
        delete[] text;
        text = nullptr;
        OCfgValue copy(other.text);
        text = copy.text;
        copy.text = nullptr;
    }
    return *this;
}

OCfgValue& OCfgValue::operator=(OCfgValue&& other) noexcept
{
    if (this != &other)
    {
        delete[] text;
        text = other.text;
        other.text = nullptr;
    }
    return *this;
}

OCfgValue::~OCfgValue()
{
    delete[] text;
}

int OCfgValue::ToInt() const
{
    if (text == nullptr)
    {
        return 0;
    }
    return ToIntUnchecked(text);
}

float OCfgValue::ToFloat() const
{
    return text == nullptr ? 0.0f : ToFloatUnchecked(text);
}

// ---------------------------------------------------------------------------
// OCfgValueIter

void OCfgValueIter::Next()
{
    if (values != nullptr && !values->empty() && static_cast<u32>(index) < values->size() - 1)
    {
        ++index;
    }
    else
    {
        index = -1;
    }
}

OCfgValue* OCfgValueIter::Get() const
{
    if (values == nullptr || index < 0 || static_cast<size_t>(index) >= values->size())
    {
        return nullptr;
    }
    return &(*values)[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------------------
// OCfgCursor

OCfgCursor::OCfgCursor(OCfgParamMap* map, OCfgParamMap::iterator pos)
    : paramMap(map), objectMap(nullptr), atEnd(map == nullptr || pos == map->end()), paramPos(pos)
{
}

OCfgCursor::OCfgCursor(OCfgObjectMap* map, OCfgObjectMap::iterator pos)
    : paramMap(nullptr), objectMap(map), atEnd(map == nullptr || pos == map->end()), objectPos(pos)
{
}

const char* OCfgCursor::Name() const
{
    if (atEnd)
    {
        return nullptr;
    }
    return paramMap != nullptr ? paramPos->first.c_str() : objectPos->first.c_str();
}

OCfgObject* OCfgCursor::GetObject(u32 i) const
{
    if (atEnd || objectMap == nullptr)
    {
        return nullptr;
    }
    return &objectPos->second.at(i);
}

void OCfgCursor::Next()
{
    if (atEnd)
    {
        return;
    }
    if (paramMap != nullptr)
    {
        ++paramPos;
        atEnd = paramPos == paramMap->end();
    }
    else
    {
        ++objectPos;
        atEnd = objectPos == objectMap->end();
    }
}

bool OCfgCursor::operator==(const OCfgCursor& other) const
{
    if (atEnd || other.atEnd)
    {
        return atEnd == other.atEnd;
    }
    if (paramMap != nullptr && other.paramMap != nullptr)
    {
        return paramPos == other.paramPos;
    }
    if (objectMap != nullptr && other.objectMap != nullptr)
    {
        return objectPos == other.objectPos;
    }
    return false;
}

OCfgValueIter OCfgCursor::ValuesBegin() const
{
    // Without values the walk is empty at once: a caller looping to
    // ValuesEnd never sees a null value.
    if (atEnd || paramMap == nullptr)
    {
        return OCfgValueIter(nullptr, -1);
    }
    return OCfgValueIter(&paramPos->second, paramPos->second.empty() ? -1 : 0);
}

OCfgValueIter OCfgCursor::ValuesEnd() const
{
    if (atEnd || paramMap == nullptr)
    {
        return OCfgValueIter(nullptr, -1);
    }
    return OCfgValueIter(&paramPos->second, -1);
}

// ---------------------------------------------------------------------------
// OCfgObject: parsing

OCfgObject::~OCfgObject() = default;

int OCfgObject::Parse(char* text, int length)
{
    if (text == nullptr || length <= 0)
    {
        return 0;
    }
    g_lastError = ParseBodyAt(text, text + length, 0);
    return g_lastError == kOk ? 1 : 0;
}

u32 OCfgObject::ParseBody(char* begin, char* end)
{
    return ParseBodyAt(begin, end, 0);
}

u32 OCfgObject::ParseObject(char** position, char* end, char* nameStart, char* nameEnd)
{
    return ParseObjectAt(position, end, nameStart, nameEnd, 0);
}

void OCfgObject::SkipBlanks(char** position, char* end)
{
    char* p = *position;
    for (;;)
    {
        while (p < end && IsBlank(*p))
        {
            ++p;
        }
        if (p >= end)
        {
            break;
        }
        if (*p == '#' || (*p == '/' && p + 1 < end && p[1] == '/'))
        {
            while (p < end && *p != '\r' && *p != '\n')
            {
                ++p;
            }
            while (p < end && (*p == '\r' || *p == '\n'))
            {
                ++p;
            }
        }
        else if (*p == '/' && p + 1 < end && p[1] == '*')
        {
            p += 2;
            int level = 1;
            while (p < end)
            {
                if (p[0] == '/' && p + 1 < end && p[1] == '*')
                {
                    ++level;
                    p += 2;
                }
                else if (p[0] == '*' && p + 1 < end && p[1] == '/')
                {
                    p += 2;
                    if (--level == 0)
                    {
                        break;
                    }
                }
                else
                {
                    ++p;
                }
            }
        }
        else
        {
            break;
        }
    }
    *position = p;
}

u32 OCfgObject::ReadToken(char** position, char* end, char** tokenStart, char** tokenEnd)
{
    SkipBlanks(position, end);
    char* p = *position;
    if (p >= end)
    {
        return kErrNoName;
    }
    if (*p == '"' || *p == '\'')
    {
        char quote = *p;
        char* close = p + 1;
        while (close < end && *close != quote)
        {
            ++close;
        }
        if (close >= end)
        {
            // The last byte of the range, not end: the caller must see a
            // failure inside the text rather than its normal end.
            *position = end - 1;
            return quote == '"' ? kErrDoubleQuote : kErrSingleQuote;
        }
        *tokenStart = p + 1;
        *tokenEnd = close;
        *position = close + 1;
    }
    else if (IsTokenStart(*p))
    {
        char* q = p + 1;
        while (q < end && IsTokenChar(*q))
        {
            ++q;
        }
        *tokenStart = p;
        *tokenEnd = q;
        *position = q;
    }
    else
    {
        return kErrNoName;
    }
    SkipBlanks(position, end);
    return kOk;
}

u32 OCfgObject::ParseBodyAt(char* begin, char* end, int depth)
{
    char* p = begin;
    while (p < end)
    {
        char* nameStart = nullptr;
        char* nameEnd = nullptr;
        u32 err = ReadToken(&p, end, &nameStart, &nameEnd);
        if (err != kOk)
        {
            if (p >= end)
            {
                g_lastError = kOk;
                return kOk;
            }
            return err;
        }

        if (p < end && (*p == '=' || *p == ':'))
        {
            ++p;
            SkipBlanks(&p, end);
        }

        if (p < end && *p == '{')
        {
            err = ParseObjectAt(&p, end, nameStart, nameEnd, depth);
            if (err != kOk)
            {
                return err;
            }
            continue;
        }

        if (p < end && *p == '[')
        {
            ++p;
            for (;;)
            {
                char* valueStart = nullptr;
                char* valueEnd = nullptr;
                if (ReadToken(&p, end, &valueStart, &valueEnd) != kOk)
                {
                    break;
                }
                TempNul nameNul(nameEnd);
                TempNul valueNul(valueEnd);
                AddParam(nameStart, valueStart);
            }
            // A NUL closes the array as well: at the top level it is the end
            // of the text, so an array left open there keeps its values.
            if (*p != ']' && *p != 0)
            {
                return kErrArrayNotClosed;
            }
            g_lastError = kOk;
            ++p;
            continue;
        }

        char* valueStart = nullptr;
        char* valueEnd = nullptr;
        err = ReadToken(&p, end, &valueStart, &valueEnd);
        if (err != kOk)
        {
            if (p >= end)
            {
                g_lastError = kOk;
                return kOk;
            }
            return err;
        }
        // These NULs stay: when the value is followed at once by a brace,
        // the brace is gone and the next statement fails on the NUL.
        *nameEnd = 0;
        *valueEnd = 0;
        if (valueStart[0] != 0 && !(valueStart[0] == '"' && valueStart[1] == '"'))
        {
            AddParam(nameStart, valueStart);
        }
        SkipBlanks(&p, end);
        if (p < end && (*p == '=' || *p == ':' || *p == '{' || *p == '['))
        {
            return kErrWrongFormat;
        }
    }
    return kOk;
}

u32 OCfgObject::ParseObjectAt(char** position, char* end, char* nameStart, char* nameEnd, int depth)
{
    char* p = *position + 1;
    char* bodyStart = p;
    SkipBlanks(&p, end);
    // p may stand on end here, whose byte is the enclosing object's '}'
    // (or the NUL after the text): an object holding only comments.
    if (*p == '}')
    {
        *position = p + 1;
        return kOk;
    }
    char* match = nullptr;
    int braces = 1;
    for (char* q = p; q < end; ++q)
    {
        if (*q == '{')
        {
            ++braces;
        }
        else if (*q == '}' && --braces == 0)
        {
            match = q;
            break;
        }
    }
    if (match == nullptr)
    {
        return kErrObjectNotClosed;
    }
    if (depth >= kMaxDepth)
    {
        return kErrWrongFormat;
    }
    OCfgObject* child;
    {
        TempNul nameNul(nameEnd);
        auto it = objects.find(std::string_view(nameStart));
        if (it == objects.end())
        {
            it = objects.emplace(std::string(nameStart), std::vector<OCfgObject>()).first;
        }
        it->second.emplace_back();
        child = &it->second.back();
    }
    u32 err = child->ParseBodyAt(bodyStart, match, depth + 1);
    if (err != kOk)
    {
        return err;
    }
    *position = match + 1;
    return kOk;
}

void OCfgObject::AddParam(const char* name, const char* value)
{
    if (name == nullptr)
    {
        return;
    }
    auto it = params.find(std::string_view(name));
    if (it == params.end())
    {
        it = params.emplace(std::string(name), std::vector<OCfgValue>()).first;
    }
    it->second.emplace_back(value);
}

// ---------------------------------------------------------------------------
// OCfgObject: reading by dotted path

bool OCfgObject::IsObject(const char* path) const
{
    std::string_view last;
    const OCfgObject* node = Resolve(this, path, &last);
    return node != nullptr && node->objects.find(last) != node->objects.end();
}

bool OCfgObject::IsParam(const char* path) const
{
    return FindValues(this, path) != nullptr;
}

namespace
{

// The first value's text, or the default with 9 recorded: Get without the
// copy, for the accessors that keep the text in their work buffers.
const char* FirstValue(const OCfgObject* node, const std::string& path, const char* defaultValue)
{
    const std::vector<OCfgValue>* values = FindValues(node, path.c_str());
    if (values == nullptr || values->empty())
    {
        g_lastError = kErrWrongName;
        return defaultValue != nullptr ? defaultValue : "";
    }
    return values->front().text;
}

} // namespace

std::string OCfgObject::Get(const std::string& path, const char* defaultValue) const
{
    return std::string(FirstValue(this, path, defaultValue));
}

int OCfgObject::GetArray(const std::string& path, std::vector<std::string>* out) const
{
    if (out != nullptr)
    {
        out->clear();
    }
    const std::vector<OCfgValue>* values = FindValues(this, path.c_str());
    if (values == nullptr)
    {
        g_lastError = kErrWrongName;
        return static_cast<int>(kErrWrongName);
    }
    if (out != nullptr)
    {
        for (const OCfgValue& v : *values)
        {
            out->emplace_back(v.text);
        }
    }
    return 0;
}

int OCfgObject::GetI(const std::string& path, int defaultValue) const
{
    g_lastError = kOk;
    g_workGetI.assign(FirstValue(this, path, ""));
    const char* text = g_workGetI.c_str();
    if (!PassesIntCheck(text))
    {
        g_lastError = kErrConversion;
    }
    if (StartsHex(text))
    {
        return ScanHex(text, defaultValue);
    }
    return g_lastError != kOk ? defaultValue : StrToIntDec(text);
}

float OCfgObject::GetF(const std::string& path, float defaultValue) const
{
    g_lastError = kOk;
    g_workGetF.assign(FirstValue(this, path, ""));
    const char* text = g_workGetF.c_str();
    if (!PassesFloatCheck(text))
    {
        g_lastError = kErrConversion;
    }
    return g_lastError != kOk ? defaultValue : ToFloatUnchecked(text);
}

namespace
{

// Every text of the path through the work list, each checked (a failure sets
// 10 and the text is converted all the same) and converted in order; the
// result is the error code, not cleared first.
template <typename T, typename Check, typename Convert>
int ConvertAll(const OCfgObject& node, const std::string& path, std::vector<std::string>& work,
               std::vector<T>* out, Check check, Convert convert)
{
    node.GetArray(path, &work);
    if (out != nullptr)
    {
        out->clear();
    }
    for (const std::string& s : work)
    {
        const char* text = s.c_str();
        if (!check(text))
        {
            g_lastError = kErrConversion;
        }
        T v = convert(text);
        if (out != nullptr)
        {
            out->push_back(v);
        }
    }
    return static_cast<int>(g_lastError);
}

} // namespace

int OCfgObject::GetIArray(const std::string& path, std::vector<int>* out) const
{
    return ConvertAll(*this, path, g_workGetIArray, out, PassesIntCheck, ToIntUnchecked);
}

int OCfgObject::GetFArray(const std::string& path, std::vector<float>* out) const
{
    return ConvertAll(*this, path, g_workGetFArray, out, PassesFloatCheck, ToFloatUnchecked);
}

u32 OCfgObject::GetLastError()
{
    return g_lastError;
}

const char* OCfgObject::GetErrorMessage(u32 code)
{
    return code < kErrorCount ? g_errorMessages[code] : nullptr;
}

// ---------------------------------------------------------------------------
// OCfgObject: cursors

namespace
{

// A cursor on the entry of one of the two maps that the path names; a lookup
// that fails on the way ends at the end of root's own map.
template <typename Map> OCfgCursor FindIn(OCfgObject* root, const char* path, Map OCfgObject::*member)
{
    std::string_view last;
    OCfgObject* node = Resolve(root, path, &last);
    Map& map = node != nullptr ? node->*member : root->*member;
    return OCfgCursor(&map, node != nullptr ? map.find(last) : map.end());
}

} // namespace

OCfgCursor OCfgObject::FindObject(const char* path)
{
    return FindIn(this, path, &OCfgObject::objects);
}

OCfgCursor OCfgObject::FindParam(const char* path)
{
    return FindIn(this, path, &OCfgObject::params);
}

OCfgCursor OCfgObject::ObjectsBegin()
{
    return OCfgCursor(&objects, objects.begin());
}

OCfgCursor OCfgObject::ObjectsEnd()
{
    return OCfgCursor(&objects, objects.end());
}

OCfgCursor OCfgObject::ParamsEnd()
{
    return OCfgCursor(&params, params.end());
}

// ---------------------------------------------------------------------------
// OCfgObject: editing

OCfgObject* OCfgObject::GetOrAddObject(const std::string& name)
{
    std::vector<OCfgObject>& list = objects[name];
    if (list.empty())
    {
        list.emplace_back();
    }
    return &list.front();
}

OCfgValue* OCfgObject::GetOrAddParam(const std::string& name)
{
    std::vector<OCfgValue>& list = params[name];
    if (list.empty())
    {
        list.emplace_back("");
    }
    return &list.front();
}

namespace
{

// Removes a whole entry; an absent or null name changes nothing.
template <typename Map> void EraseName(Map& map, const char* name)
{
    if (name != nullptr)
    {
        auto it = map.find(std::string_view(name));
        if (it != map.end())
        {
            map.erase(it);
        }
    }
}

} // namespace

void OCfgObject::RemoveParam(const char* name)
{
    EraseName(params, name);
}

void OCfgObject::RemoveObject(const char* name)
{
    EraseName(objects, name);
}

void OCfgObject::Clear()
{
    objects.clear();
    params.clear();
}

void OCfgObject::Reset()
{
    Clear();
}

void OCfgObject::SortValues()
{
    for (auto& [name, list] : params)
    {
        std::sort(list.begin(), list.end(),
                  [](const OCfgValue& a, const OCfgValue& b) { return std::strcmp(a.text, b.text) < 0; });
    }
    for (auto& [name, list] : objects)
    {
        for (OCfgObject& o : list)
        {
            o.SortValues();
        }
    }
}

char* OCfgObject::Scramble(char* data, int length)
{
    if (data == nullptr)
    {
        return data;
    }
    for (int i = 0; i < length; ++i)
    {
        data[i] = static_cast<char>(data[i] ^ static_cast<char>(random.Next() & 0xFF));
    }
    return data;
}

char* OCfgObject::ScrambleString(char* text)
{
    if (text == nullptr)
    {
        return text;
    }
    // Each byte is tested before it changes: a byte that scrambles to 0
    // does not cut the run short.
    for (char* p = text; *p != 0; ++p)
    {
        *p = static_cast<char>(*p ^ static_cast<char>(random.Next() & 0xFF));
    }
    return text;
}

int OCfgObject::TextLength() const
{
    size_t n = 0;
    for (const auto& [name, list] : params)
    {
        n += name.size();
        for (const OCfgValue& v : list)
        {
            n += std::strlen(v.text);
        }
    }
    for (const auto& [name, list] : objects)
    {
        n += name.size();
        for (const OCfgObject& o : list)
        {
            n += static_cast<size_t>(o.TextLength());
        }
    }
    return static_cast<int>(n);
}

int OCfgObject::MemorySize() const
{
    // 12 bytes per map head and 28 + 16 per map node and list head, 28 per
    // list slot: the layout of the tree the estimate was made for.
    size_t n = 12;
    for (const auto& [name, list] : params)
    {
        n += 28 + 16 + 28 * list.capacity() + name.size();
        for (const OCfgValue& v : list)
        {
            n += std::strlen(v.text);
        }
    }
    n += 12;
    for (const auto& [name, list] : objects)
    {
        n += 28 + 16 + 28 * list.capacity() + name.size();
        for (const OCfgObject& o : list)
        {
            n += 28 + static_cast<size_t>(o.TextLength());
        }
    }
    return static_cast<int>(n);
}

namespace
{

// start plus count of every object below node, one level down.
template <typename Count> int SumBelow(const OCfgObject& node, size_t start, Count count)
{
    int n = static_cast<int>(start);
    for (const auto& [name, list] : node.objects)
    {
        for (const OCfgObject& o : list)
        {
            n += count(o);
        }
    }
    return n;
}

} // namespace

int OCfgObject::CountParams() const
{
    return SumBelow(*this, params.size(), [](const OCfgObject& o) { return o.CountParams(); });
}

int OCfgObject::CountObjects() const
{
    return SumBelow(*this, objects.size(), [](const OCfgObject& o) { return o.CountObjects(); });
}

void OCfgObject::Compact()
{
    for (auto& [name, list] : params)
    {
        list.shrink_to_fit();
    }
    for (auto& [name, list] : objects)
    {
        list.shrink_to_fit();
        for (OCfgObject& o : list)
        {
            o.Compact();
        }
    }
}

// ---------------------------------------------------------------------------
// OCfgObject: writing

bool OCfgObject::IsPlainToken(const char* text)
{
    if (text == nullptr || text[0] == 0 || !IsTokenStart(text[0]))
    {
        return false;
    }
    for (const char* p = text + 1; *p != 0; ++p)
    {
        if (!IsTokenChar(*p))
        {
            return false;
        }
    }
    return true;
}

int OCfgObject::WriteToStream(std::ostream& out, int width, int level) const
{
    const std::string indent(static_cast<size_t>(Indent(width, level)), ' ');
    for (const auto& [name, list] : params)
    {
        out << indent;
        WriteToken(out, name.c_str());
        out << '=';
        if (list.size() == 1)
        {
            WriteToken(out, list.front().text);
        }
        else
        {
            out << '[';
            for (size_t i = 0; i < list.size(); ++i)
            {
                if (i != 0)
                {
                    out << ", ";
                }
                WriteToken(out, list[i].text);
            }
            out << ']';
        }
        out << '\n';
    }
    for (const auto& [name, list] : objects)
    {
        for (const OCfgObject& o : list)
        {
            out << indent;
            WriteToken(out, name.c_str());
            out << " = {\n";
            o.WriteToStream(out, width, level + 1);
            out << indent << "}\n";
        }
    }
    return 1;
}

int OCfgObject::SaveToBuffer(char** buffer, int* length) const
{
    if (buffer == nullptr || length == nullptr)
    {
        return 0;
    }
    std::ostringstream out;
    WriteToStream(out, 0, 0);
    const std::string text = out.str();
    *length = static_cast<int>(text.size());
    if (text.empty())
    {
        return 0;
    }
    *buffer = new char[text.size()];
    std::memcpy(*buffer, text.data(), text.size());
    return 1;
}

void OCfgObject::SaveToFile(const char* path, int width, int level, FILE* file) const
{
    if (file == nullptr)
    {
        file = path != nullptr ? std::fopen(path, "w") : stdout;
        if (file == nullptr)
        {
            g_lastError = kErrCantOpen;
            return;
        }
    }
    const int indent = static_cast<int>(std::min<long long>(Indent(width, level), 0x7FFFFFFF));
    auto quote = [](const char* text) { return IsPlainToken(text) ? "" : "\""; };
    for (const auto& [name, list] : params)
    {
        const char* q = quote(name.c_str());
        std::fprintf(file, "%-*s%s%s%s = ", indent, "", q, name.c_str(), q);
        if (list.size() > 1)
        {
            std::fputs("[", file);
        }
        for (size_t i = 0; i < list.size(); ++i)
        {
            if (i != 0)
            {
                std::fputs(", ", file);
            }
            const char* vq = quote(list[i].text);
            std::fprintf(file, "%s%s%s", vq, list[i].text, vq);
        }
        if (list.size() > 1)
        {
            std::fputs("]", file);
        }
        std::fputs("\n", file);
    }
    for (const auto& [name, list] : objects)
    {
        const char* q = quote(name.c_str());
        for (const OCfgObject& o : list)
        {
            std::fprintf(file, "%-*s%s%s%s = {\n", indent, "", q, name.c_str(), q);
            o.SaveToFile(nullptr, width, level + 1, file);
            std::fprintf(file, "%-*s}\n", indent, "");
        }
    }
    if (path != nullptr)
    {
        std::fclose(file);
    }
}
