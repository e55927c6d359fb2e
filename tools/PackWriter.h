#pragma once
// Writing and listing bitmap packs: the header "bmst.bin" and the data files
// "bmdt%d.bin", records back to back. Used by the pack tool, the sample data,
// the tests and the benchmarks.
#include "core/Types.h"

#include <string>
#include <vector>

namespace tools
{

// One record to write. `pixels` holds what the type stores, rows top to
// bottom: blue, green, red per pixel for the 24-bit types (0 to 11 and 13),
// one byte per pixel for the others; for the JPEG types (22 and 23) the
// picture to encode, blue, green, red per pixel or one grey byte per pixel
// when `jpegGrey` is set, unless `jpeg` already holds the stream to store.
struct PackImage
{
    u16 type = 0;
    u16 width = 0;
    u16 height = 0;
    // The colour key 0xRRGGBB, or the number of the record holding the alpha
    // plane (types 2, 12, 20 and 23).
    u32 value = 0;
    std::string name;
    std::vector<u8> pixels;
    // Types 16 to 20: the palette, blue, green, red per entry.
    std::vector<u8> palette;
    std::vector<u8> jpeg;
    bool jpegGrey = false;
    int jpegQuality = 90;
    // The value of a pad byte, which readers must not use.
    u8 padValue = 0;
};

// The records of each data file, file 0 first.
using PackFiles = std::vector<std::vector<PackImage>>;

// The stream of a JPEG record: `jpeg` when given, else `pixels` encoded by
// libjpeg-turbo (2 x 2 chroma subsampling for colour).
std::vector<u8> EncodeRecordJpeg(const PackImage& image);
// One record's bytes: header, payload and pad byte.
std::vector<u8> EncodeRecord(const PackImage& image);
// Writes bmst.bin and every data file into `dir` (which must exist). The
// header's record count is the number of records unless `headerRecords` is
// given. False with *error set when a file cannot be written or a record
// does not match its type.
bool WritePack(const std::string& dir, const PackFiles& files, std::string* error, int headerRecords = -1);

// A record as listed: where it lies and its header.
struct ListedRecord
{
    u16 file = 0;
    u32 offset = 0;
    u32 size = 0; // bytes the record takes, pad byte included
    u16 type = 0;
    u16 width = 0;
    u16 height = 0;
    u32 value = 0;
    std::string name;
};

// Reads bmst.bin and the data files of `dir` and lists every record. False
// with *error set when a file is missing or a record runs past its file.
bool ListPack(const std::string& dir, u16* files, u16* records, std::vector<ListedRecord>* listed,
              std::string* error);

} // namespace tools
