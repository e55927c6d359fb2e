// OCfgObject::Parse on arbitrary bytes: no crash, hang, leak or read outside
// the text; every accessor answers on what was stored; and a text that parses
// is written and read back into the same tree, outside the cases the format
// cannot carry (quotes inside texts, bare texts that start like comments,
// braces inside objects, empty single values and empty objects).
#include "cfg/CfgTestUtil.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{

void Exercise(OCfgObject& node, int depth)
{
    std::vector<std::string> texts;
    std::vector<int> ints;
    std::vector<float> floats;
    for (const auto& [name, list] : node.params)
    {
        node.Get(name, "d");
        node.GetI(name, 1);
        node.GetF(name, 1.0f);
        node.GetArray(name, &texts);
        node.GetIArray(name, &ints);
        node.GetFArray(name, &floats);
        OCfgCursor c(&node.params, node.params.find(name));
        node.FindParam(name.c_str());
        for (OCfgValueIter it = c.ValuesBegin(); it != c.ValuesEnd(); it.Next())
        {
            it.Get()->ToInt();
            it.Get()->ToFloat();
        }
    }
    for (OCfgCursor c = node.ObjectsBegin(); c != node.ObjectsEnd(); c.Next())
    {
        node.IsObject(c.Name());
        Exercise(*c.GetObject(0), depth + 1);
    }
}

std::string Written(const OCfgObject& node)
{
    char* buffer = nullptr;
    int length = 0;
    if (node.SaveToBuffer(&buffer, &length) == 0)
    {
        return std::string();
    }
    std::string text(buffer, static_cast<size_t>(length));
    delete[] buffer;
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
    {
        return 0;
    }
    std::vector<char> buffer(data, data + size);
    buffer.push_back(0);
    OCfgObject node;
    const int result = node.Parse(buffer.data(), static_cast<int>(size));
    Exercise(node, 0);
    node.TextLength();
    node.MemorySize();
    node.CountParams();
    node.CountObjects();

    if (result == 1 && !cfgtest::HasRoundTripHazard(node))
    {
        const OCfgObject expected = cfgtest::ExpectedAfterRoundTrip(node);
        const std::string text = Written(node);
        OCfgObject back;
        if (!text.empty())
        {
            std::vector<char> copy(text.begin(), text.end());
            copy.push_back(0);
            if (back.Parse(copy.data(), static_cast<int>(text.size())) != 1)
            {
                std::fprintf(stderr, "written text fails to parse (%u):\n%s\n", OCfgObject::GetLastError(),
                             text.c_str());
                std::abort();
            }
        }
        std::string where;
        if (!cfgtest::SameTree(expected, back, &where))
        {
            std::fprintf(stderr, "round trip differs at %s:\n%s\n", where.c_str(), text.c_str());
            std::abort();
        }
        if (Written(back) != Written(expected))
        {
            std::fprintf(stderr, "second writing differs:\n%s\n", text.c_str());
            std::abort();
        }
    }

    node.SortValues();
    node.Compact();
    FILE* sink = std::fopen("/dev/null", "w");
    if (sink != nullptr)
    {
        node.SaveToFile(nullptr, 2, 0, sink);
        std::fclose(sink);
    }
    return 0;
}
