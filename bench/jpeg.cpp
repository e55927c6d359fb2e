// BM_JpegDecode: an 800 x 600 4:2:0 picture, quality 85, decoded by ours, by
// libjpeg-turbo (integer transform, no fancy upsampling, RGBX out, its SIMD
// on) and by stb_image, each to 4 bytes per pixel in a caller's buffer.
// Items are pixels.
#include "image/jpeg/TJPEG_Decoder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include <jpeglib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

// The picture generator and the encoder wrapper of the test suite.
#include "jpeg/JpegTestSupport.cpp"

namespace
{
constexpr int kWidth = 800;
constexpr int kHeight = 600;

const std::vector<u8>& Picture()
{
    static const std::vector<u8> jpeg = []
    {
        jpegtest::EncodeOptions o;
        o.layout = jpegtest::Layout::S420;
        o.quality = 85;
        return jpegtest::Encode(jpegtest::MakePicture(kWidth, kHeight, 3, 2024), kWidth, kHeight, o);
    }();
    return jpeg;
}

void DecodeOurs(benchmark::State& state, const std::vector<u8>& jpeg, std::vector<u8>& out)
{
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    for (auto _ : state)
    {
        OJpegData data(static_cast<i32>(jpeg.size()), jpeg.data());
        if (dec->Begin(&data) != 0)
        {
            state.SkipWithError("Begin failed");
            break;
        }
        u8* dst = out.data();
        u8* line;
        u32 length;
        while (dec->DecodeLine(&line, &length) == 0)
        {
            std::memcpy(dst, line, length);
            dst += length;
        }
        benchmark::DoNotOptimize(out.data());
    }
    dec->Delete();
}

void DecodeLibjpeg(benchmark::State& state, const std::vector<u8>& jpeg, std::vector<u8>& out)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    for (auto _ : state)
    {
        jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.out_color_space = JCS_EXT_RGBX;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height)
        {
            JSAMPROW row = out.data() + static_cast<size_t>(cinfo.output_scanline) * kWidth * 4;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        benchmark::DoNotOptimize(out.data());
    }
    jpeg_destroy_decompress(&cinfo);
}

void DecodeStb(benchmark::State& state, const std::vector<u8>& jpeg, std::vector<u8>& out)
{
    for (auto _ : state)
    {
        int w, h, n;
        stbi_uc* pixels = stbi_load_from_memory(jpeg.data(), static_cast<int>(jpeg.size()), &w, &h, &n, 4);
        if (pixels == nullptr)
        {
            state.SkipWithError("stb_image failed");
            break;
        }
        std::memcpy(out.data(), pixels, out.size());
        stbi_image_free(pixels);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_JpegDecode(benchmark::State& state, int which)
{
    const std::vector<u8>& jpeg = Picture();
    std::vector<u8> out(static_cast<size_t>(kWidth) * kHeight * 4);
    if (which == 0)
        DecodeOurs(state, jpeg, out);
    else if (which == 1)
        DecodeLibjpeg(state, jpeg, out);
    else
        DecodeStb(state, jpeg, out);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
} // namespace

BENCHMARK_CAPTURE(BM_JpegDecode, ours, 0);
BENCHMARK_CAPTURE(BM_JpegDecode, libjpeg_turbo, 1);
BENCHMARK_CAPTURE(BM_JpegDecode, stb_image, 2);

BENCHMARK_MAIN();
