#include "cfg/OCfgMap.h"

#include "core/FileLimits.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// The comment of a line that stores nothing (a "}" line) waits here for the
// next section or value.
std::string g_pendingComment;

// 0 is a blank so that a stray NUL inside a loaded file separates like a
// line end.
bool IsBlank(char c)
{
    return c == 0 || c == 9 || c == 10 || c == 13 || c == 32;
}

// A forward search over one text that remembers its last answer: the parser
// asks for the line end and the next "//" after every name, and positions
// only grow, so a long line is scanned once rather than once per statement.
class ForwardFind
{
public:
    ForwardFind(const std::string& text, const char* needle) : m_text(text), m_needle(needle) {}

    // The first place at or after from where the needle stands, or the
    // text's size.
    size_t Next(size_t from)
    {
        if (!(from >= m_from && from <= m_at))
        {
            m_from = from;
            m_at = m_text.find(m_needle, from);
            if (m_at == std::string::npos)
            {
                m_at = m_text.size();
            }
        }
        return m_at;
    }

private:
    const std::string& m_text;
    const char* m_needle;
    size_t m_from = 1, m_at = 0;
};

bool StartsComment(const std::string& t, size_t i)
{
    return t[i] == '/' && i + 1 < t.size() && t[i + 1] == '/';
}

// The line feed that ends a comment starting at i, or the text's end.
size_t CommentEnd(const std::string& t, size_t i)
{
    const size_t lf = t.find('\n', i);
    return lf == std::string::npos ? t.size() : lf;
}

void SkipBlanks(const std::string& t, size_t* pos)
{
    size_t i = *pos;
    const size_t n = t.size();
    while (i < n)
    {
        if (IsBlank(t[i]))
        {
            ++i;
        }
        else if (StartsComment(t, i))
        {
            i = CommentEnd(t, i);
        }
        else
        {
            break;
        }
    }
    *pos = i;
}

std::string Inner(const std::string& stored)
{
    return stored.size() < 2 ? std::string() : stored.substr(1, stored.size() - 2);
}

// Pieces between separators, runs of separators counting as one.
template <typename T, typename Convert>
T* DecodeNumbers(const std::string& stored, int* count, char separator, bool skipControl, Convert convert)
{
    std::string s = Inner(stored);
    s += separator;
    size_t i = 0;
    while (i < s.size() && (s[i] == separator || (skipControl && static_cast<unsigned char>(s[i]) < 32)))
    {
        ++i;
    }
    std::vector<T> values;
    std::string piece;
    for (; i < s.size(); ++i)
    {
        if (s[i] == separator)
        {
            if (!piece.empty())
            {
                values.push_back(convert(piece.c_str()));
                piece.clear();
            }
        }
        else
        {
            piece += s[i];
        }
    }
    T* out = new T[values.size()];
    for (size_t k = 0; k < values.size(); ++k)
    {
        out[k] = values[k];
    }
    if (count != nullptr)
    {
        *count = static_cast<int>(values.size());
    }
    return out;
}

std::string DecodeString(const std::string& stored)
{
    std::string s = Inner(stored);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i)
    {
        if (s[i] == '\\' && i + 1 < s.size())
        {
            char next = s[i + 1];
            char replaced = 0;
            bool known = true;
            switch (next)
            {
            case 'n':
                replaced = '\n';
                break;
            case '0':
                replaced = 0;
                break;
            case 't':
                replaced = '\t';
                break;
            case '"':
                replaced = '"';
                break;
            case '\\':
                replaced = '\\';
                break;
            default:
                known = false;
                break;
            }
            if (known)
            {
                out += replaced;
                ++i;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

char* NewCopy(const char* data, size_t n)
{
    char* out = new char[n + 1];
    std::memcpy(out, data, n);
    out[n] = 0;
    return out;
}

std::string FormatInt(const char* format, int v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), format, v);
    return buf;
}

std::string FormatFloat(float v)
{
    // "%f" of the largest float needs 47 characters.
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%f", static_cast<double>(v));
    return buf;
}

// "[", the formatted numbers joined by the separator, "]".
template <typename T, typename Format>
std::string JoinNumbers(const T* v, int count, char separator, Format format)
{
    std::string s = "[";
    for (int i = 0; v != nullptr && i < count; ++i)
    {
        if (i != 0)
        {
            s += separator;
        }
        s += format(v[i]);
    }
    s += ']';
    return s;
}

// The last names of the listed full names that lie directly in section.
std::vector<std::string> DirectChildren(const char* section, const std::vector<std::string>& names)
{
    std::string prefix = section != nullptr ? section : "";
    if (!prefix.empty())
    {
        prefix += '.';
    }
    std::vector<std::string> out;
    for (const std::string& name : names)
    {
        if (name.size() >= prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.find('.', prefix.size()) == std::string::npos)
        {
            out.push_back(name.substr(prefix.size()));
        }
    }
    return out;
}

// Reading line by line and putting a line feed after each line gives the
// bytes themselves, with a line feed added when the last line lacks one.
void EndLastLine(std::string* text)
{
    if (!text->empty() && text->back() != '\n')
    {
        *text += '\n';
    }
}

} // namespace

OCfgMap::OCfgMap(const OCfgMap& other)
{
    sections.reserve(100);
    keys.reserve(100);
    failed = other.failed;
    text = other.text;
    sections = other.sections;
    keys = other.keys;
    entries = other.entries;
}

// ---------------------------------------------------------------------------
// Loading and saving

int OCfgMap::Load(const char* path)
{
    entries.clear();
    sections.clear();
    keys.clear();
    text.clear();
    FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr)
    {
        failed = 1;
        return 1;
    }
    char chunk[4096];
    size_t n;
    while (text.size() <= kMaxWholeFileLength && (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
    {
        text.append(chunk, n);
    }
    // A path that opens but cannot be read (a folder) fails like one that
    // does not open, rather than loading as an empty text; so does a file
    // past the limit, before its text outgrows the memory.
    const bool readError = std::ferror(file) != 0 || text.size() > kMaxWholeFileLength;
    std::fclose(file);
    if (readError)
    {
        text.clear();
        failed = 1;
        return 1;
    }
    EndLastLine(&text);
    return Parse();
}

int OCfgMap::LoadFromText(const char* source)
{
    entries.clear();
    sections.clear();
    keys.clear();
    text = source != nullptr ? source : "";
    EndLastLine(&text);
    return Parse();
}

int OCfgMap::Save(const char* path)
{
    FILE* file = path != nullptr ? std::fopen(path, "wb") : nullptr;
    if (file == nullptr)
    {
        failed = 1;
        return 1;
    }
    const std::string out = Format();
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
    {
        failed = 1;
        return 1;
    }
    return 0;
}

std::string OCfgMap::SaveToString(std::string* out)
{
    std::string s = Format();
    failed = 0;
    if (out != nullptr)
    {
        *out = s;
    }
    return s;
}

std::string OCfgMap::Format() const
{
    std::string out;
    std::vector<std::string> previous;
    for (const auto& [key, entry] : entries)
    {
        std::vector<std::string> parts;
        size_t start = 0;
        size_t dot;
        while ((dot = key.find('.', start)) != std::string::npos)
        {
            parts.push_back(key.substr(start, dot - start));
            start = dot + 1;
        }
        const std::string name = key.substr(start);

        size_t shared = 0;
        while (shared < parts.size() && shared < previous.size() && parts[shared] == previous[shared])
        {
            ++shared;
        }
        for (size_t d = previous.size(); d > shared; --d)
        {
            out.append(d - 1, '\t');
            out += "}\n";
        }
        for (size_t d = shared; d < parts.size(); ++d)
        {
            out.append(d, '\t');
            out += parts[d];
            out += " = {\n";
        }
        out.append(parts.size(), '\t');
        out += name;
        out += '=';
        out += entry.value;
        if (!entry.comment.empty())
        {
            out.append(12, ' ');
            out += "//";
            out += entry.comment;
        }
        out += '\n';
        previous = std::move(parts);
    }
    for (size_t d = previous.size(); d > 0; --d)
    {
        out.append(d - 1, '\t');
        out += "}\n";
    }
    return out;
}

int OCfgMap::Parse()
{
    g_pendingComment.clear();
    std::string prefix;
    // Prefix lengths before each open section, so that "}" closes exactly
    // the section it belongs to even when a section name holds a '.'.
    std::vector<size_t> open;
    u32 order = 0;
    const size_t n = text.size();
    ForwardFind lineFeeds(text, "\n");
    ForwardFind slashes(text, "//");
    size_t i = 0;
    for (;;)
    {
        if (i >= n)
        {
            failed = 0;
            return 0;
        }
        SkipBlanks(text, &i);
        const size_t nameStart = i;
        if (i < n && text[i] == '}')
        {
            ++i;
        }
        else
        {
            while (i < n && !IsBlank(text[i]) && text[i] != '=')
            {
                ++i;
            }
        }
        const size_t nameEnd = i;
        if (g_pendingComment.empty())
        {
            const size_t lineEnd = lineFeeds.Next(nameEnd);
            const size_t comment = slashes.Next(nameEnd);
            if (comment < lineEnd)
            {
                g_pendingComment = text.substr(comment + 2, lineEnd - comment - 2);
            }
        }
        if (nameEnd == nameStart)
        {
            failed = 0;
            return 0;
        }
        if (nameEnd == n)
        {
            return 1;
        }
        const std::string name = text.substr(nameStart, nameEnd - nameStart);
        if (name == "}")
        {
            if (open.empty())
            {
                failed = 1;
                return 1;
            }
            prefix.resize(open.back());
            open.pop_back();
            continue;
        }

        SkipBlanks(text, &i);
        if (i >= n || text[i] != '=')
        {
            failed = 1;
            return 1;
        }
        ++i;
        SkipBlanks(text, &i);
        if (i >= n)
        {
            failed = 1;
            return 1;
        }

        std::string value;
        u32 kind = 2;
        if (text[i] == '{')
        {
            size_t peek = i + 1;
            SkipBlanks(text, &peek);
            if (peek >= n || text[peek] != '[')
            {
                sections.emplace_back(prefix + name, g_pendingComment);
                open.push_back(prefix.size());
                prefix += name;
                prefix += '.';
                g_pendingComment.clear();
                ++i;
                continue;
            }
            kind = 1;
            value = "{";
            size_t k = i + 1;
            bool closed = false;
            while (k < n)
            {
                if (text[k] == '[')
                {
                    const size_t close = text.find(']', k);
                    if (close == std::string::npos)
                    {
                        break;
                    }
                    value.append(text, k, close - k + 1);
                    k = close + 1;
                }
                else if (text[k] == '}')
                {
                    value += '}';
                    ++k;
                    closed = true;
                    break;
                }
                else if (StartsComment(text, k))
                {
                    k = CommentEnd(text, k);
                }
                else
                {
                    ++k;
                }
            }
            if (!closed)
            {
                failed = 1;
                return 1;
            }
            i = k;
        }
        else if (text[i] == '[')
        {
            const size_t close = text.find(']', i);
            if (close == std::string::npos)
            {
                failed = 1;
                return 1;
            }
            value = text.substr(i, close - i + 1);
            i = close + 1;
        }
        else if (text[i] == '"')
        {
            size_t k = i + 1;
            while (k < n && text[k] != '"')
            {
                // A backslash takes the next byte with it, so "\\" does not
                // escape the quote after it.
                k += text[k] == '\\' ? 2 : 1;
            }
            if (k >= n)
            {
                failed = 1;
                return 1;
            }
            value = text.substr(i, k - i + 1);
            i = k + 1;
        }
        else
        {
            size_t k = i;
            while (k < n && !IsBlank(text[k]) && text[k] != '}')
            {
                ++k;
            }
            if (k >= n)
            {
                failed = 1;
                return 1;
            }
            value = text.substr(i, k - i);
            i = k;
        }

        const std::string key = prefix + name;
        OCfgMapEntry& entry = entries[key];
        entry.value = std::move(value);
        entry.comment = g_pendingComment;
        entry.order = order++;
        entry.kind = kind;
        keys.push_back(key);
        g_pendingComment.clear();
    }
}

// ---------------------------------------------------------------------------
// Getters

int OCfgMap::GetInt(const char* key, int defaultValue)
{
    const char* v = GetRaw(key);
    if (v == nullptr)
    {
        return defaultValue;
    }
    if (v[0] == '0' && v[1] == 'x')
    {
        // Preset to the default, which stands when no hex digit follows the
        // prefix: "0x" alone is a matching failure, although glibc's scanf
        // reads it as 0.
        unsigned int x = static_cast<unsigned int>(defaultValue);
        if (std::isxdigit(static_cast<unsigned char>(v[2])) != 0)
        {
            std::sscanf(v, "%x", &x);
        }
        return static_cast<int>(x);
    }
    return std::atoi(v);
}

float OCfgMap::GetFloat(const char* key, float defaultValue)
{
    const char* v = GetRaw(key);
    return v == nullptr ? defaultValue : static_cast<float>(std::atof(v));
}

int* OCfgMap::GetIntArray(const char* key, int* count, char separator)
{
    return GetNumbers<int>(key, count, separator, true, [](const char* s) { return std::atoi(s); });
}

float* OCfgMap::GetFloatArray(const char* key, int* count, char separator)
{
    return GetNumbers<float>(key, count, separator, false,
                             [](const char* s) { return static_cast<float>(std::atof(s)); });
}

template <typename T, typename Convert>
T* OCfgMap::GetNumbers(const char* key, int* count, char separator, bool skipControl, Convert convert)
{
    if (GetRaw(key) == nullptr)
    {
        if (count != nullptr)
        {
            *count = 0;
        }
        return nullptr;
    }
    return DecodeNumbers<T>(entries.find(key)->second.value, count, separator, skipControl, convert);
}

char* OCfgMap::GetString(const char* key, const char* defaultValue)
{
    if (GetRaw(key) == nullptr)
    {
        const char* d = defaultValue != nullptr ? defaultValue : "";
        return NewCopy(d, std::strlen(d));
    }
    const std::string s = DecodeString(entries.find(key)->second.value);
    return NewCopy(s.data(), s.size());
}

std::string OCfgMap::GetString(std::string* out, const char* key, std::string defaultValue)
{
    std::string s =
        GetRaw(key) == nullptr ? std::move(defaultValue) : DecodeString(entries.find(key)->second.value);
    if (out != nullptr)
    {
        *out = s;
    }
    return s;
}

char* OCfgMap::GetStringArray(const char* key, int* width, int* count, char separator,
                              const char* defaultValue)
{
    std::vector<std::string> groups;
    size_t longest = 0;
    bool found = GetRaw(key) != nullptr;
    if (found)
    {
        std::string s;
        for (char c : Inner(entries.find(key)->second.value))
        {
            if (c != separator)
            {
                s += c;
            }
        }
        size_t i = 0;
        while ((i = s.find('[', i)) != std::string::npos)
        {
            size_t close = s.find(']', i + 1);
            if (close == std::string::npos)
            {
                close = s.size();
            }
            groups.push_back(s.substr(i + 1, close - i - 1));
            longest = std::max(longest, groups.back().size());
            i = close;
        }
        // *width and *count are ints: a block they cannot describe is
        // refused like a missing key.
        if (longest > INT_MAX || groups.size() > INT_MAX ||
            (longest != 0 && groups.size() > (INT_MAX - 1) / longest))
        {
            failed = 1;
            found = false;
        }
    }
    if (!found)
    {
        if (defaultValue != nullptr)
        {
            const size_t n = std::strlen(defaultValue);
            if (width != nullptr)
            {
                *width = static_cast<int>(n + 1);
            }
            return NewCopy(defaultValue, n);
        }
        if (width != nullptr)
        {
            *width = 1;
        }
        if (count != nullptr)
        {
            *count = 1;
        }
        return NewCopy("", 0);
    }
    std::string block;
    block.reserve(groups.size() * longest);
    for (const std::string& g : groups)
    {
        block += g;
        block.append(longest - g.size(), separator);
    }
    if (width != nullptr)
    {
        *width = static_cast<int>(longest);
    }
    if (count != nullptr)
    {
        *count = static_cast<int>(groups.size());
    }
    return NewCopy(block.data(), block.size());
}

const char* OCfgMap::GetRaw(const char* key)
{
    failed = 0;
    auto it = key != nullptr ? entries.find(key) : entries.end();
    if (it == entries.end())
    {
        failed = 1;
        return nullptr;
    }
    return it->second.value.c_str();
}

const char* OCfgMap::GetComment(const char* key)
{
    if (GetRaw(key) == nullptr)
    {
        return nullptr;
    }
    return entries.find(key)->second.comment.c_str();
}

const char* OCfgMap::GetSectionComment(const char* section)
{
    failed = 0;
    const std::string name = section != nullptr ? section : "";
    for (const auto& [full, comment] : sections)
    {
        if (full == name)
        {
            return comment.c_str();
        }
    }
    failed = 1;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Setters

void OCfgMap::Store(const char* key, std::string value, const char* comment)
{
    if (key == nullptr)
    {
        return;
    }
    OCfgMapEntry& entry = entries[key];
    entry.value = std::move(value);
    entry.comment = comment != nullptr ? comment : "";
}

void OCfgMap::SetInt(const char* key, int v, const char* comment, bool hex)
{
    Store(key, hex ? "0x" + FormatInt("%x", v) : FormatInt("%d", v), comment);
}

void OCfgMap::SetFloat(const char* key, float v, const char* comment)
{
    Store(key, FormatFloat(v), comment);
}

void OCfgMap::SetIntArray(const char* key, const int* v, int count, const char* comment, char separator)
{
    Store(key, JoinNumbers(v, count, separator, [](int x) { return FormatInt("%d", x); }), comment);
}

void OCfgMap::SetFloatArray(const char* key, const float* v, int count, const char* comment, char separator)
{
    Store(key, JoinNumbers(v, count, separator, FormatFloat), comment);
}

void OCfgMap::SetString(const char* key, const std::string& v, const char* comment)
{
    std::string s = "\"";
    for (char c : v)
    {
        switch (c)
        {
        case '"':
            s += "\\\"";
            break;
        case '\t':
            s += "\\t";
            break;
        case '\n':
            s += "\\n";
            break;
        case 0:
            s += "\\0";
            break;
        case '\\':
            s += "\\\\";
            break;
        default:
            s += c;
            break;
        }
    }
    s += '"';
    Store(key, std::move(s), comment);
}

void OCfgMap::SetStringArray(const char* key, const char* rows, int width, int count, const char* comment,
                             char separator)
{
    std::string s = "{";
    for (int r = 0; rows != nullptr && r < count; ++r)
    {
        s += '[';
        for (int c = 0; c < width; ++c)
        {
            if (c != 0)
            {
                s += separator;
            }
            s += rows[static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(c)];
        }
        s += ']';
    }
    s += '}';
    Store(key, std::move(s), comment);
}

void OCfgMap::SetRaw(const char* key, const char* value, const char* comment)
{
    failed = 0;
    auto it = key != nullptr ? entries.find(key) : entries.end();
    if (it == entries.end())
    {
        failed = 1;
        return;
    }
    it->second.value = value != nullptr ? value : "";
    it->second.comment = comment != nullptr ? comment : "";
}

// ---------------------------------------------------------------------------
// Structure

bool OCfgMap::HasSection(const char* section) const
{
    if (section == nullptr || section[0] == 0)
    {
        return false;
    }
    std::string prefix = section;
    if (prefix.back() != '.')
    {
        prefix += '.';
    }
    auto it = entries.lower_bound(prefix);
    return it != entries.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::string> OCfgMap::GetSubsections(const char* section) const
{
    std::vector<std::string> names;
    names.reserve(sections.size());
    for (const auto& [full, comment] : sections)
    {
        names.push_back(full);
    }
    return DirectChildren(section, names);
}

std::vector<std::string> OCfgMap::GetKeys(const char* section) const
{
    return DirectChildren(section, keys);
}
