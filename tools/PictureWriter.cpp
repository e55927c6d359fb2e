#include "PictureWriter.h"

#include "core/XorScramble.h"
#include "image/TJPEG_Datas.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace tools
{
namespace
{

struct ErrorJump
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// libjpeg's fatal errors must not return to it.
void JumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

void PutU16(std::vector<u8>& out, size_t at, u32 v)
{
    out[at] = static_cast<u8>(v);
    out[at + 1] = static_cast<u8>(v >> 8);
}

void PutU32(std::vector<u8>& out, size_t at, u32 v)
{
    PutU16(out, at, v & 0xFFFF);
    PutU16(out, at + 2, v >> 16);
}

// Everything libjpeg touches between setjmp and a longjmp back lives here,
// outside the frame that calls setjmp.
struct Compression
{
    jpeg_compress_struct info{};
    ErrorJump error{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compression()
    {
        jpeg_destroy_compress(&info);
        std::free(buffer);
    }
};

bool Compress(Compression& c, const u8* pixels, int width, int height, int channels,
              const JpegOptions& options)
{
    c.info.err = jpeg_std_error(&c.error.manager);
    c.error.manager.error_exit = JumpOut;
    if (setjmp(c.error.jump))
        return false;
    jpeg_create_compress(&c.info);
    jpeg_mem_dest(&c.info, &c.buffer, &c.size);
    c.info.image_width = static_cast<JDIMENSION>(width);
    c.info.image_height = static_cast<JDIMENSION>(height);
    c.info.input_components = channels;
    c.info.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c.info);
    jpeg_set_quality(&c.info, options.quality, TRUE);
    c.info.restart_interval = static_cast<unsigned>(options.restartInterval);
    if (channels == 3)
    {
        static const int kFactors[4][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
        const int* f = kFactors[static_cast<int>(options.sampling)];
        c.info.comp_info[0].h_samp_factor = f[0];
        c.info.comp_info[0].v_samp_factor = f[1];
    }
    jpeg_start_compress(&c.info, TRUE);
    while (c.info.next_scanline < c.info.image_height)
    {
        JSAMPROW row = const_cast<u8*>(pixels) + size_t(c.info.next_scanline) * width * channels;
        jpeg_write_scanlines(&c.info, &row, 1);
    }
    jpeg_finish_compress(&c.info);
    return true;
}

} // namespace

std::vector<u8> EncodeJpeg(const u8* pixels, int width, int height, int channels, const JpegOptions& options)
{
    if (channels != 1 && channels != 3)
        return {};
    Compression c;
    if (!Compress(c, pixels, width, height, channels, options))
        return {};
    return std::vector<u8>(c.buffer, c.buffer + c.size);
}

std::vector<u8> WriteJpm(const u8* bgr, const u8* alpha, int width, int height, u8 key,
                         const JpegOptions& options, const JpmLayout& layout)
{
    std::vector<u8> jpeg = EncodeJpeg(bgr, width, height, 3, options);
    if (jpeg.empty())
        return {};
    return WriteJpmAround(jpeg, alpha, static_cast<u32>(width), static_cast<u32>(height), key, layout);
}

std::vector<u8> WriteJpmAround(const std::vector<u8>& jpeg, const u8* alpha, u32 width, u32 height, u8 key,
                               const JpmLayout& layout)
{
    const size_t plane = size_t(width) * height;
    const u32 jpegOffset = 20 + layout.gap;
    const u32 alphaOffset = jpegOffset + static_cast<u32>(jpeg.size());
    std::vector<u8> out(alphaOffset + plane + layout.alphaExtra, 0x5A);
    out[0] = 'J';
    out[1] = 'P';
    out[2] = 'M';
    out[3] = layout.fourthByte;
    PutU32(out, 4, width);
    PutU32(out, 8, height);
    PutU32(out, 12, jpegOffset);
    PutU32(out, 16, alphaOffset);
    XorScramble(jpeg.data(), out.data() + jpegOffset, static_cast<u32>(jpeg.size()), key);
    std::copy(alpha, alpha + plane, out.begin() + alphaOffset);
    return out;
}

std::vector<u8> WriteTga(TgaKind kind, bool bottomUp, int width, int height, const u8* pixels)
{
    const int bytes = kind == TgaKind::Rgb24 ? 3 : kind == TgaKind::Rgba32 ? 4 : 1;
    const size_t row = size_t(width) * bytes;
    std::vector<u8> out(18 + row * height, 0);
    out[2] = kind == TgaKind::Grey8 ? 3 : 2;
    PutU16(out, 12, static_cast<u32>(width));
    PutU16(out, 14, static_cast<u32>(height));
    out[16] = static_cast<u8>(8 * bytes);
    // Bit 5: rows from the top; the low bits count the alpha bits a pixel.
    out[17] = static_cast<u8>((bottomUp ? 0 : 0x20) | (kind == TgaKind::Rgba32 ? 8 : 0));
    for (int y = 0; y < height; ++y)
    {
        const int stored = bottomUp ? height - 1 - y : y;
        std::copy(pixels + row * y, pixels + row * (y + 1), out.begin() + 18 + row * stored);
    }
    return out;
}

std::vector<u8> ScrambleDataJpeg(const std::vector<u8>& jpeg, u8 seed)
{
    if (jpeg.empty() || jpeg[0] != TJPEG_Datas::kStartKeyMask)
        return {};
    std::vector<u8> out(jpeg.size());
    out[0] = seed;
    u8 key = static_cast<u8>(seed ^ TJPEG_Datas::kStartKeyMask);
    for (size_t i = 1; i < jpeg.size(); ++i)
    {
        key = TJPEG_Datas::NextKey(key);
        out[i] = static_cast<u8>(jpeg[i] ^ key);
    }
    return out;
}

std::string DataFilePath(const std::string& folder, int number)
{
    std::string name = "Data" + std::to_string(number) + ".dat";
    return folder.empty() ? name : folder + "/" + name;
}

bool WriteDataFile(const std::string& folder, int number, const std::vector<u8>& bytes)
{
    FILE* file = std::fopen(DataFilePath(folder, number).c_str(), "wb");
    if (!file)
        return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace tools
