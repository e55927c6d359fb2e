#pragma once
// The smallest bitmap pack a window starts on: one 3 by 3 image, "ONE".
#include "PackWriter.h"

#include <string>

inline bool WriteStartPack(const std::string& folder, std::string* error)
{
    tools::PackImage image;
    image.type = 1;
    image.width = image.height = 3;
    image.name = "ONE";
    image.pixels.assign(27, 0x40);
    return tools::WritePack(folder, {{image}}, error);
}
