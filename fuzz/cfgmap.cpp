// OCfgMap::LoadFromText on arbitrary text: no crash, hang, leak or read
// outside the text, and every getter, query and the save format answer on
// whatever was stored; the saved text loads again.
#include "cfg/OCfgMap.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
    {
        return 0;
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    OCfgMap map;
    map.LoadFromText(text.c_str());

    const std::vector<std::string> keys = map.keys;
    for (const std::string& key : keys)
    {
        const char* k = key.c_str();
        map.GetInt(k, 1);
        map.GetFloat(k, 1.0f);
        int count = 0;
        int width = 0;
        delete[] map.GetIntArray(k, &count, ',');
        delete[] map.GetFloatArray(k, &count, ' ');
        delete[] map.GetString(k, "d");
        map.GetString(nullptr, k, "d");
        delete[] map.GetStringArray(k, &width, &count, ',', nullptr);
        map.GetComment(k);
        map.HasSection(k);
        map.GetKeys(k);
    }
    for (const auto& section : map.sections)
    {
        map.GetSectionComment(section.first.c_str());
        map.GetSubsections(section.first.c_str());
        map.HasSection(section.first.c_str());
    }
    map.GetSubsections("");

    const std::string saved = map.SaveToString(nullptr);
    OCfgMap again;
    again.LoadFromText(saved.c_str());
    OCfgMap copy(again);
    copy.SaveToString(nullptr);
    return 0;
}
