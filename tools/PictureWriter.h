#pragma once
// Writers of the picture files the data-file loaders read: JPM pictures, TGA
// pictures and rolling-key-scrambled JPEG pictures, each as bytes in memory,
// and the file "Data<number>.dat" to put them in. Pixels are given as the
// engine keeps them: rows top to bottom, blue, green, red.
#include "core/Types.h"

#include <string>
#include <vector>

namespace tools
{

// Chroma subsampling of a colour JPEG (horizontal x vertical).
enum class Sampling
{
    S444,
    S422, // 2 x 1
    S440, // 1 x 2
    S420, // 2 x 2
};

struct JpegOptions
{
    int quality = 90;
    Sampling sampling = Sampling::S420;
    int restartInterval = 0; // in MCUs, 0 for none
};

// A baseline JPEG made by libjpeg-turbo from `channels` bytes a pixel: 3 for
// blue, green, red, 1 for grey (a one-component frame). Empty on failure.
std::vector<u8> EncodeJpeg(const u8* pixels, int width, int height, int channels, const JpegOptions& options);

// Where the parts of a JPM picture go. The JPEG part starts `gap` bytes
// after the 20-byte header and the alpha part follows it directly, with
// `alphaExtra` bytes of 0x5A after the plane.
struct JpmLayout
{
    u8 fourthByte = 0;
    u32 gap = 0;
    u32 alphaExtra = 0;
};

// A JPM picture: the JPEG part encoded from the colour pixels and scrambled
// by the rolling XOR from `key`, then the alpha plane (width x height bytes,
// 0 opaque). Empty when the encoder fails.
std::vector<u8> WriteJpm(const u8* bgr, const u8* alpha, int width, int height, u8 key,
                         const JpegOptions& options, const JpmLayout& layout = {});
// The same around a JPEG stream given whole (grey, or of another size than
// the header says); the header's width and height are taken as given.
std::vector<u8> WriteJpmAround(const std::vector<u8>& jpeg, const u8* alpha, u32 width, u32 height, u8 key,
                               const JpmLayout& layout = {});

enum class TgaKind
{
    Rgb24,  // format 0: blue, green, red
    Rgba32, // format 2: blue, green, red, opacity (255 opaque)
    Grey8,  // format 14: one byte a pixel
};

// An uncompressed TGA picture. The rows are stored from the top or from the
// bottom as asked, and the descriptor byte says which (and holds 8 alpha
// bits for 32-bit pictures). `pixels` holds 3, 4 or 1 bytes a pixel by kind,
// rows top to bottom.
std::vector<u8> WriteTga(TgaKind kind, bool bottomUp, int width, int height, const u8* pixels);

// A JPEG stream scrambled with the rolling one-byte key of the plain JPEG
// data files. Its first byte, which must be the start-of-image FF, is
// replaced by `seed`: the reader derives its start key from it. Empty when the
// stream does not begin with FF.
std::vector<u8> ScrambleDataJpeg(const std::vector<u8>& jpeg, u8 seed);

// "folder/Data<number>.dat", or "Data<number>.dat" for an empty folder.
std::string DataFilePath(const std::string& folder, int number);
// Writes the bytes to that file; false when it cannot be written whole.
bool WriteDataFile(const std::string& folder, int number, const std::vector<u8>& bytes);

} // namespace tools
