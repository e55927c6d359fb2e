#pragma once
// A temporary folder for packs, the writer's records, and the bytes the store
// must make of each.
#include "PackWriter.h"
#include "image/OBitmapStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace storetest
{

class PackFolder : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the pack into the folder `name` below the temporary folder and
    // returns its path.
    std::string Write(const std::string& name, const tools::PackFiles& files, int headerRecords = -1);

    std::filesystem::path root;
};

tools::PackImage Record(u16 type, u16 w, u16 h, u32 value, const std::string& name, u32 seed);

// What the store must hold for a record: the decoder's lines of a JPEG record
// as blue, green, red rows, the payload as written for the others.
std::vector<u8> ExpectedBlock(const tools::PackImage& record);

} // namespace storetest
