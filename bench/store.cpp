// BM_StoreLoad: the image store loading a pack of 300 small records (24-bit
// images with a colour key, alpha planes and 24-bit images over them) and 20
// JPEG records of 800 x 600 (4:2:0, quality 85), from files.
// BM_StoreLoadLibjpegTurbo: the same pack read plainly: each data file read
// whole, every record copied into a block of its own, and the JPEG records
// unscrambled and decoded from memory by libjpeg-turbo (integer transform,
// no fancy upsampling, its SIMD on) straight to blue, green, red.
// Items are pixels loaded. BM_StoreLoad also reports the peak of the memory
// the load holds against the sum of the blocks the pack leaves.
#include "PackWriter.h"
#include "image/OBitmapStore.h"
#include "support/PlatformFilesTestUtil.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <new>
#include <unistd.h>

#include <jpeglib.h>

// The picture generator and the encoder wrapper of the test suite.
#include "jpeg/JpegTestSupport.cpp"

// Every allocation of the process is counted, so that the load's peak can be
// read.
namespace
{
std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

void* Counted(size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    const size_t now = liveBytes += malloc_usable_size(p);
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now))
    {
    }
    return p;
}

void Uncounted(void* p)
{
    if (p)
    {
        liveBytes -= malloc_usable_size(p);
        std::free(p);
    }
}
} // namespace

void* operator new(size_t n)
{
    return Counted(n);
}
void* operator new[](size_t n)
{
    return Counted(n);
}
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try
    {
        return Counted(n);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept
{
    return operator new(n, t);
}
void operator delete(void* p) noexcept
{
    Uncounted(p);
}
void operator delete[](void* p) noexcept
{
    Uncounted(p);
}
void operator delete(void* p, size_t) noexcept
{
    Uncounted(p);
}
void operator delete[](void* p, size_t) noexcept
{
    Uncounted(p);
}

namespace
{

struct Pack
{
    std::string dir;
    std::vector<tools::PackImage> records;
    i64 pixels = 0;
    size_t blockBytes = 0;
};

const Pack& BenchPack()
{
    static const Pack pack = []
    {
        Pack p;
        // The pack lives as long as the process; it goes with it.
        static const filetest::TempFolder folder;
        p.dir = folder.Path();
        tools::PackFiles files(2);
        for (int i = 0; i < 100; ++i)
        {
            const u16 w = static_cast<u16>(24 + i % 17), h = static_cast<u16>(20 + i % 13);
            const std::vector<u8> rgb = jpegtest::MakePicture(w, h, 3, static_cast<u32>(i));
            tools::PackImage keyed, plane, over;
            keyed.type = 1;
            over.type = 2;
            plane.type = 14;
            for (tools::PackImage* r : {&keyed, &plane, &over})
            {
                r->width = w;
                r->height = h;
                r->name = "SMALL" + std::to_string(files[0].size());
            }
            keyed.value = 0xFF00FF;
            keyed.pixels = rgb;
            over.pixels = rgb;
            plane.pixels.assign(size_t(w) * h, static_cast<u8>(i));
            over.value = static_cast<u32>(files[0].size() + 1);
            files[0].push_back(keyed);
            files[0].push_back(plane);
            files[0].push_back(over);
        }
        for (int i = 0; i < 20; ++i)
        {
            tools::PackImage photo;
            photo.type = 22;
            photo.width = 800;
            photo.height = 600;
            photo.name = "PHOTO" + std::to_string(i);
            jpegtest::EncodeOptions o;
            o.layout = jpegtest::Layout::S420;
            o.quality = 85;
            photo.jpeg =
                jpegtest::Encode(jpegtest::MakePicture(800, 600, 3, 7000 + static_cast<u32>(i)), 800, 600, o);
            files[1].push_back(photo);
        }
        std::string error;
        if (!tools::WritePack(p.dir, files, &error))
            std::fprintf(stderr, "%s\n", error.c_str());
        for (const auto& f : files)
            for (const tools::PackImage& r : f)
            {
                p.records.push_back(r);
                p.pixels += i64(r.width) * r.height;
                const size_t rows = size_t(r.width) * (r.height + 1);
                p.blockBytes += r.type == 14 ? rows + 1 : 3 * rows + 3;
            }
        return p;
    }();
    return pack;
}

void BM_StoreLoad(benchmark::State& state)
{
    const Pack& pack = BenchPack();
    size_t peak = 0;
    for (auto _ : state)
    {
        const size_t before = liveBytes.load();
        peakBytes = before;
        {
            OBitmapStore store;
            PackFailure failure;
            if (!store.TryLoad(pack.dir.c_str(), 0, 0, &failure))
            {
                state.SkipWithError(failure.message);
                break;
            }
            benchmark::DoNotOptimize(store.images);
        }
        peak = peakBytes.load() - before;
    }
    state.SetItemsProcessed(state.iterations() * pack.pixels);
    state.counters["peak_MiB"] = double(peak) / 1048576.0;
    state.counters["blocks_MiB"] = double(pack.blockBytes) / 1048576.0;
    state.counters["peak_over_blocks"] = double(peak) / double(pack.blockBytes);
}

std::vector<u8> ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

u32 Le(const u8* p, int n)
{
    u32 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void BM_StoreLoadLibjpegTurbo(benchmark::State& state)
{
    const Pack& pack = BenchPack();
    std::vector<u8> scratch(OBitmapStore::kJpegScratchSize);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    for (auto _ : state)
    {
        std::vector<std::unique_ptr<u8[]>> blocks;
        for (int f = 0; f < 2; ++f)
        {
            const std::vector<u8> data = ReadWhole(pack.dir + "/bmdt" + std::to_string(f) + ".bin");
            size_t p = 0;
            while (p < data.size())
            {
                const u8* h = data.data() + p;
                const u32 type = h[0], w = Le(h + 2, 2), ht = Le(h + 4, 2);
                const size_t px = size_t(w) * ht;
                p += 30;
                if (type == 22)
                {
                    const u32 length = Le(data.data() + p, 4);
                    p += 4;
                    for (u32 i = 0; i < length; ++i)
                        scratch[i] = data[p + i] ^ 0xC7;
                    blocks.emplace_back(new u8[3 * w * (ht + 1) + 3]);
                    jpeg_mem_src(&cinfo, scratch.data(), length);
                    jpeg_read_header(&cinfo, TRUE);
                    cinfo.dct_method = JDCT_ISLOW;
                    cinfo.do_fancy_upsampling = FALSE;
                    cinfo.out_color_space = JCS_EXT_BGR;
                    jpeg_start_decompress(&cinfo);
                    while (cinfo.output_scanline < cinfo.output_height)
                    {
                        JSAMPROW row = blocks.back().get() + size_t(cinfo.output_scanline) * w * 3;
                        jpeg_read_scanlines(&cinfo, &row, 1);
                    }
                    jpeg_finish_decompress(&cinfo);
                    p += length + (length & 1);
                }
                else
                {
                    const size_t bytes = type == 14 ? px : 3 * px;
                    blocks.emplace_back(new u8[type == 14 ? w * (ht + 1) + 1 : 3 * w * (ht + 1) + 3]);
                    std::memcpy(blocks.back().get(), data.data() + p, bytes);
                    p += bytes + (px & 1);
                }
            }
        }
        benchmark::DoNotOptimize(blocks.data());
    }
    jpeg_destroy_decompress(&cinfo);
    state.SetItemsProcessed(state.iterations() * pack.pixels);
}

} // namespace

BENCHMARK(BM_StoreLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreLoadLibjpegTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
