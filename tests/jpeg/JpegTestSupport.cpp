#include "JpegTestSupport.h"

#include "image/jpeg/TJPEG_Decoder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <jpeglib.h>

namespace jpegtest
{
namespace
{
// libjpeg reports fatal errors through error_exit, which must not return.
void ThrowError(j_common_ptr info)
{
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    throw std::runtime_error(message);
}

void Silence(j_common_ptr, int) {}

u8 Clamp(long v)
{
    return static_cast<u8>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
} // namespace

std::vector<u8> MakePicture(int width, int height, int channels, u32 seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    struct Wave
    {
        double fx, fy, phase, amp;
    };
    std::vector<Wave> waves[3];
    for (auto& list : waves)
        for (int i = 0; i < 5; ++i)
            list.push_back({uni(rng) * 0.08, uni(rng) * 0.08, uni(rng) * 6.283, 20 + uni(rng) * 30});
    struct Box
    {
        int x0, y0, x1, y1;
        int delta[3];
    };
    std::vector<Box> boxes;
    for (int i = 0; i < 6; ++i)
    {
        int x0 = static_cast<int>(uni(rng) * width), y0 = static_cast<int>(uni(rng) * height);
        boxes.push_back({x0,
                         y0,
                         x0 + 1 + static_cast<int>(uni(rng) * width / 3),
                         y0 + 1 + static_cast<int>(uni(rng) * height / 3),
                         {static_cast<int>(uni(rng) * 80 - 40), static_cast<int>(uni(rng) * 80 - 40),
                          static_cast<int>(uni(rng) * 80 - 40)}});
    }
    std::normal_distribution<double> noise(0.0, 2.0);
    std::vector<u8> out(static_cast<size_t>(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
            {
                double v = 128 + 60.0 * x / width - 30.0 * y / height;
                for (const Wave& w : waves[c])
                    v += w.amp * std::sin(w.fx * x + w.fy * y + w.phase);
                for (const Box& b : boxes)
                    if (x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1)
                        v += b.delta[c];
                v += noise(rng);
                out[(static_cast<size_t>(y) * width + x) * channels + c] = Clamp(std::lround(v));
            }
    return out;
}

std::vector<u8> Encode(const std::vector<u8>& pixels, int width, int height, const EncodeOptions& o)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = reinterpret_cast<void (*)(j_common_ptr)>(ThrowError);
    jerr.emit_message = Silence;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    bool grey = o.layout == Layout::Grey;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, o.baseline ? TRUE : FALSE);
    if (!grey)
    {
        int h = (o.layout == Layout::S422 || o.layout == Layout::S420) ? 2 : 1;
        int v = (o.layout == Layout::S440 || o.layout == Layout::S420) ? 2 : 1;
        cinfo.comp_info[0].h_samp_factor = h;
        cinfo.comp_info[0].v_samp_factor = v;
        for (int c = 1; c < 3; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.restart_interval = static_cast<unsigned>(o.restartInterval);
    cinfo.optimize_coding = o.optimize ? TRUE : FALSE;
    cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
    cinfo.dct_method = JDCT_ISLOW;
    if (o.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    size_t stride = static_cast<size_t>(width) * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height)
    {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<u8> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

Decoded DecodeOurs(const std::vector<u8>& jpeg)
{
    Decoded d;
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    OJpegData data(static_cast<i32>(jpeg.size()), jpeg.data());
    d.begin = dec->Begin(&data);
    if (d.begin == 0)
    {
        d.image.width = dec->GetWidth();
        d.image.height = dec->GetHeight();
        d.image.channels = dec->GetBytesPerPixel() == 4 ? 3 : 1;
        for (;;)
        {
            u8* line = nullptr;
            u32 length = 0;
            int r = dec->DecodeLine(&line, &length);
            if (r != 0)
            {
                d.end = r;
                break;
            }
            ++d.lines;
            if (d.image.channels == 1)
                d.image.data.insert(d.image.data.end(), line, line + length);
            else
                for (u32 i = 0; i < length; i += 4)
                    d.image.data.insert(d.image.data.end(), line + i, line + i + 3);
        }
    }
    d.error = dec->GetErrorCode();
    dec->Delete();
    return d;
}

namespace
{
// A decompressor over the stream whose header has been read; libjpeg's
// failures are thrown.
void OpenDecompress(jpeg_decompress_struct& cinfo, jpeg_error_mgr& jerr, const std::vector<u8>& jpeg)
{
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = reinterpret_cast<void (*)(j_common_ptr)>(ThrowError);
    jerr.emit_message = Silence;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
}
} // namespace

Image DecodeLibjpeg(const std::vector<u8>& jpeg)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    OpenDecompress(cinfo, jerr, jpeg);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    Image img;
    img.width = static_cast<int>(cinfo.output_width);
    img.height = static_cast<int>(cinfo.output_height);
    img.channels = cinfo.output_components;
    size_t stride = static_cast<size_t>(img.width) * img.channels;
    img.data.resize(stride * img.height);
    while (cinfo.output_scanline < cinfo.output_height)
    {
        JSAMPROW row = img.data.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return img;
}

void ReferenceIdct(const i16* in, u8* out)
{
    // Both passes computed literally in 64 bits and brought back to 32 bits
    // with wrap-around, as the decoder's arithmetic is defined.
    auto wrap = [](i64 v) { return static_cast<i32>(static_cast<u32>(static_cast<u64>(v))); };
    auto pass = [&](const i64* d, i32* o)
    {
        i64 z = (d[2] + d[6]) * 4433;
        i64 t2 = z - d[6] * 15137, t3 = z + d[2] * 6270;
        i64 t0 = (d[0] + d[4]) * 8192, t1 = (d[0] - d[4]) * 8192;
        i64 a0 = t0 + t3, a3 = t0 - t3, a1 = t1 + t2, a2 = t1 - t2;
        i64 z5 = (d[7] + d[5] + d[3] + d[1]) * 9633;
        i64 z2 = -(d[5] + d[3]) * 20995;
        i64 z3 = z5 - (d[7] + d[3]) * 16069;
        i64 z4 = z5 - (d[5] + d[1]) * 3196;
        i64 z1 = -(d[7] + d[1]) * 7373;
        i64 b0 = z1 + z3 + d[7] * 2446, b1 = z2 + z4 + d[5] * 16819;
        i64 b2 = z2 + z3 + d[3] * 25172, b3 = z1 + z4 + d[1] * 12299;
        o[0] = wrap(a0 + b3);
        o[7] = wrap(a0 - b3);
        o[1] = wrap(a1 + b2);
        o[6] = wrap(a1 - b2);
        o[2] = wrap(a2 + b1);
        o[5] = wrap(a2 - b1);
        o[3] = wrap(a3 + b0);
        o[4] = wrap(a3 - b0);
    };
    i16 work[64];
    for (int r = 0; r < 8; ++r)
    {
        i64 d[8];
        i32 o[8];
        for (int c = 0; c < 8; ++c)
            d[c] = in[r * 8 + c];
        pass(d, o);
        for (int c = 0; c < 8; ++c)
            work[r * 8 + c] = static_cast<i16>(static_cast<u16>(wrap(static_cast<i64>(o[c]) + 1024) >> 11));
    }
    for (int c = 0; c < 8; ++c)
    {
        i64 d[8];
        i32 o[8];
        for (int r = 0; r < 8; ++r)
            d[r] = work[r * 8 + c];
        pass(d, o);
        for (int r = 0; r < 8; ++r)
            out[r * 8 + c] = Clamp((wrap(static_cast<i64>(o[r]) + 131072) >> 18) + 128);
    }
}

Image DecodeReference(const std::vector<u8>& jpeg)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    OpenDecompress(cinfo, jerr, jpeg);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    int n = cinfo.num_components;
    int hmax = cinfo.max_h_samp_factor, vmax = cinfo.max_v_samp_factor;

    // Sample planes of every component, whole blocks.
    struct Plane
    {
        int w, h, hs, vs;
        std::vector<u8> s;
    };
    std::vector<Plane> planes(static_cast<size_t>(n));
    for (int c = 0; c < n; ++c)
    {
        jpeg_component_info* comp = &cinfo.comp_info[c];
        Plane& p = planes[static_cast<size_t>(c)];
        p.w = static_cast<int>(comp->width_in_blocks) * 8;
        p.h = static_cast<int>(comp->height_in_blocks) * 8;
        p.hs = comp->h_samp_factor;
        p.vs = comp->v_samp_factor;
        p.s.resize(static_cast<size_t>(p.w) * p.h);
        const UINT16* q = comp->quant_table->quantval; // natural order
        for (JDIMENSION by = 0; by < comp->height_in_blocks; ++by)
        {
            JBLOCKARRAY rows = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                                arrays[c], by, 1, FALSE);
            for (JDIMENSION bx = 0; bx < comp->width_in_blocks; ++bx)
            {
                i16 deq[64];
                u8 smp[64];
                for (int k = 0; k < 64; ++k)
                    deq[k] = static_cast<i16>(static_cast<u16>(static_cast<i16>(q[k]) * rows[0][bx][k]));
                ReferenceIdct(deq, smp);
                for (int r = 0; r < 8; ++r)
                    std::memcpy(&p.s[(by * 8 + r) * static_cast<size_t>(p.w) + bx * 8], smp + r * 8, 8);
            }
        }
    }

    Image img;
    img.width = static_cast<int>(cinfo.image_width);
    img.height = static_cast<int>(cinfo.image_height);
    img.channels = n == 1 ? 1 : 3;
    img.data.resize(static_cast<size_t>(img.width) * img.height * img.channels);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
        {
            auto at = [&](const Plane& p)
            { return p.s[static_cast<size_t>(y * p.vs / vmax) * p.w + x * p.hs / hmax]; };
            u8* out = &img.data[(static_cast<size_t>(y) * img.width + x) * img.channels];
            if (n == 1)
            {
                out[0] = at(planes[0]);
                continue;
            }
            long Y = at(planes[0]);
            long cb = 2L * at(planes[1]) - 256, cr = 2L * at(planes[2]) - 256;
            out[0] = Clamp(Y + ((cr * 45941 + 32768) >> 16));
            out[1] = Clamp(Y + ((cr * -23401 + cb * -11277 + 32768) >> 16));
            out[2] = Clamp(Y + ((cb * 58065 + 32768) >> 16));
        }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return img;
}

std::vector<u8> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace jpegtest
