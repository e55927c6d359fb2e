#pragma once
// Helpers shared by the cfg suites: parsing from literals the way loaders do
// (a writable copy with a NUL after the text) and comparing trees.
#include "cfg/OCfgObject.h"

#include <string>
#include <vector>

namespace cfgtest
{

struct Parsed
{
    int result;
    u32 error;
};

// Parses text into node from a writable copy; the copy (altered in place) is
// handed back through buffer when asked for.
inline Parsed ParseText(OCfgObject& node, const std::string& text, std::vector<char>* buffer = nullptr)
{
    std::vector<char> local(text.begin(), text.end());
    local.push_back(0);
    int r = node.Parse(local.data(), static_cast<int>(text.size()));
    Parsed p{r, OCfgObject::GetLastError()};
    if (buffer != nullptr)
    {
        *buffer = std::move(local);
    }
    return p;
}

inline std::vector<std::string> Values(const OCfgObject& node, const std::string& name)
{
    std::vector<std::string> out;
    auto it = node.params.find(name);
    if (it != node.params.end())
    {
        for (const OCfgValue& v : it->second)
        {
            out.emplace_back(v.text);
        }
    }
    return out;
}

// Same names, same value texts in the same order, same objects recursively.
inline bool SameTree(const OCfgObject& a, const OCfgObject& b, std::string* where)
{
    if (a.params.size() != b.params.size() || a.objects.size() != b.objects.size())
    {
        *where = "entry counts";
        return false;
    }
    for (auto ia = a.params.begin(), ib = b.params.begin(); ia != a.params.end(); ++ia, ++ib)
    {
        if (ia->first != ib->first || ia->second.size() != ib->second.size())
        {
            *where = "param " + ia->first;
            return false;
        }
        for (size_t i = 0; i < ia->second.size(); ++i)
        {
            if (std::string(ia->second[i].text) != ib->second[i].text)
            {
                *where = "value of " + ia->first;
                return false;
            }
        }
    }
    for (auto ia = a.objects.begin(), ib = b.objects.begin(); ia != a.objects.end(); ++ia, ++ib)
    {
        if (ia->first != ib->first || ia->second.size() != ib->second.size())
        {
            *where = "object " + ia->first;
            return false;
        }
        for (size_t i = 0; i < ia->second.size(); ++i)
        {
            if (!SameTree(ia->second[i], ib->second[i], where))
            {
                *where = ia->first + "." + *where;
                return false;
            }
        }
    }
    return true;
}

inline bool IsEmptyNode(const OCfgObject& node)
{
    return node.params.empty() && node.objects.empty();
}

// The tree that reading the written text back should give: a parameter whose
// one value is empty is written as "" and dropped, and an object that is
// empty when written is dropped (one that only becomes empty through such
// drops stays, as an empty object).
inline OCfgObject ExpectedAfterRoundTrip(const OCfgObject& node)
{
    OCfgObject out;
    for (const auto& [name, list] : node.params)
    {
        if (!(list.size() == 1 && list[0].text[0] == 0))
        {
            out.params[name] = list;
        }
    }
    for (const auto& [name, list] : node.objects)
    {
        for (const OCfgObject& o : list)
        {
            if (!IsEmptyNode(o))
            {
                out.objects[name].push_back(ExpectedAfterRoundTrip(o));
            }
        }
    }
    return out;
}

inline bool TokenHazard(const char* text, bool insideObject)
{
    std::string s(text);
    if (s.find('"') != std::string::npos)
    {
        return true;
    }
    if (OCfgObject::IsPlainToken(text) && (s.rfind("//", 0) == 0 || s.rfind("/*", 0) == 0))
    {
        return true;
    }
    // Braces inside an object's body count toward its closing brace.
    return insideObject && s.find_first_of("{}") != std::string::npos;
}

// True when the tree holds something that the text cannot carry back: a
// double quote in a name or value, a bare name or value that starts like a
// comment, or a brace in a name or value inside an object.
inline bool HasRoundTripHazard(const OCfgObject& node, bool insideObject = false)
{
    for (const auto& [name, list] : node.params)
    {
        if (TokenHazard(name.c_str(), insideObject))
        {
            return true;
        }
        for (const OCfgValue& v : list)
        {
            if (TokenHazard(v.text, insideObject))
            {
                return true;
            }
        }
    }
    for (const auto& [name, list] : node.objects)
    {
        if (TokenHazard(name.c_str(), insideObject))
        {
            return true;
        }
        for (const OCfgObject& o : list)
        {
            if (HasRoundTripHazard(o, true))
            {
                return true;
            }
        }
    }
    return false;
}

} // namespace cfgtest
