#pragma once
// Pictures made by libjpeg-turbo's encoder, the two oracles built from
// libjpeg-turbo (its coefficients, and its own decoder), and our decoder run
// over a whole stream.
#include "core/Types.h"

#include <string>
#include <vector>

namespace jpegtest
{
// Sampling layouts the decoder supports, named by their chroma subsampling.
enum class Layout
{
    Grey,
    S444,
    S422, // H2V1
    S440, // H1V2
    S420, // H2V2
};

struct EncodeOptions
{
    Layout layout = Layout::S420;
    int quality = 85;
    int restartInterval = 0; // in MCUs
    bool baseline = true;    // false lets quantisation entries exceed 255 (16-bit tables)
    bool optimize = false;   // Huffman tables made for the picture
    bool arithmetic = false;
    bool progressive = false;
};

// A picture that compresses like a photograph: smooth shading, texture, noise
// and some hard edges. Interleaved RGB, or one sample per pixel for grey.
std::vector<u8> MakePicture(int width, int height, int channels, u32 seed);

std::vector<u8> Encode(const std::vector<u8>& pixels, int width, int height, const EncodeOptions& options);

struct Image
{
    int width = 0;
    int height = 0;
    int channels = 0;     // 1 grey, 3 colour (our padding byte dropped)
    std::vector<u8> data; // rows of width x channels bytes
};

// Our decoder over a memory block; result is Begin's, then the first non-zero
// DecodeLine result (1 when every line came). lines counts lines given.
struct Decoded
{
    int begin = 0;
    int end = 0;
    int error = 0;
    int lines = 0;
    Image image;
};
Decoded DecodeOurs(const std::vector<u8>& jpeg);

// libjpeg-turbo's own decoder: integer transform, no fancy upsampling.
Image DecodeLibjpeg(const std::vector<u8>& jpeg);

// The exact reference: libjpeg-turbo's quantised coefficients, dequantised,
// transformed and converted by direct implementations of our formulas with
// chroma repeated.
Image DecodeReference(const std::vector<u8>& jpeg);

// The slow, literal transform used by the reference: 64 coefficients in
// natural order to 64 samples.
void ReferenceIdct(const i16* coefficients, u8* samples);

std::vector<u8> ReadFile(const std::string& path);
} // namespace jpegtest
