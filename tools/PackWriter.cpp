#include "PackWriter.h"

#include "PictureWriter.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tools
{

namespace
{

void Put16(std::vector<u8>& out, u32 v)
{
    out.push_back(static_cast<u8>(v));
    out.push_back(static_cast<u8>(v >> 8));
}

void Put32(std::vector<u8>& out, u32 v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

u32 Get16(const u8* p)
{
    return static_cast<u32>(p[0] | (p[1] << 8));
}

u32 Get32(const u8* p)
{
    return Get16(p) | (Get16(p + 2) << 16);
}

bool IsJpeg(u16 type)
{
    return type == 22 || type == 23;
}

bool IsPalette(u16 type)
{
    return type >= 16 && type <= 20;
}

bool IsRgb(u16 type)
{
    return type <= 11 || type == 13;
}

// The bytes `pixels` must hold for a record of this type.
size_t PixelBytes(const PackImage& image)
{
    const size_t n = size_t(image.width) * image.height;
    if (IsJpeg(image.type))
        return image.jpeg.empty() ? (image.jpegGrey ? n : 3 * n) : image.pixels.size();
    return IsRgb(image.type) ? 3 * n : n;
}

bool WriteFile(const std::string& path, const std::vector<u8>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool ReadFile(const std::string& path, std::vector<u8>* bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

} // namespace

std::vector<u8> EncodeRecordJpeg(const PackImage& image)
{
    if (!image.jpeg.empty())
        return image.jpeg;
    JpegOptions options;
    options.quality = image.jpegQuality;
    return EncodeJpeg(image.pixels.data(), image.width, image.height, image.jpegGrey ? 1 : 3, options);
}

std::vector<u8> EncodeRecord(const PackImage& image)
{
    std::vector<u8> out;
    Put16(out, image.type);
    Put16(out, image.width);
    Put16(out, image.height);
    Put32(out, image.value);
    char name[20] = {};
    std::strncpy(name, image.name.c_str(), 19);
    out.insert(out.end(), name, name + 20);
    size_t payload = 0;
    if (IsJpeg(image.type))
    {
        const std::vector<u8> stream = EncodeRecordJpeg(image);
        Put32(out, static_cast<u32>(stream.size()));
        for (u8 b : stream)
            out.push_back(b ^ 0xC7);
        payload = stream.size();
    }
    else
    {
        if (IsPalette(image.type))
        {
            Put16(out, static_cast<u32>(2 + image.palette.size()));
            out.insert(out.end(), image.palette.begin(), image.palette.end());
        }
        out.insert(out.end(), image.pixels.begin(), image.pixels.end());
        payload = size_t(image.width) * image.height;
    }
    if (payload & 1)
        out.push_back(image.padValue);
    return out;
}

bool WritePack(const std::string& dir, const PackFiles& files, std::string* error, int headerRecords)
{
    size_t records = 0;
    for (size_t f = 0; f < files.size(); ++f)
    {
        std::vector<u8> data;
        for (const PackImage& image : files[f])
        {
            if (!IsJpeg(image.type) || image.jpeg.empty())
            {
                if (image.pixels.size() != PixelBytes(image))
                {
                    *error = "record " + std::to_string(records) + " (" + image.name +
                             "): " + std::to_string(image.pixels.size()) +
                             " pixel bytes, its type and size need " + std::to_string(PixelBytes(image));
                    return false;
                }
            }
            const std::vector<u8> record = EncodeRecord(image);
            data.insert(data.end(), record.begin(), record.end());
            ++records;
        }
        const std::string path = dir + "/bmdt" + std::to_string(f) + ".bin";
        if (!WriteFile(path, data))
        {
            *error = "cannot write " + path;
            return false;
        }
    }
    std::vector<u8> header;
    Put16(header, static_cast<u32>(files.size()));
    Put16(header, headerRecords >= 0 ? static_cast<u32>(headerRecords) : static_cast<u32>(records));
    if (!WriteFile(dir + "/bmst.bin", header))
    {
        *error = "cannot write " + dir + "/bmst.bin";
        return false;
    }
    return true;
}

bool ListPack(const std::string& dir, u16* files, u16* records, std::vector<ListedRecord>* listed,
              std::string* error)
{
    std::vector<u8> header;
    if (!ReadFile(dir + "/bmst.bin", &header) || header.size() < 4)
    {
        *error = dir + "/bmst.bin not found or shorter than 4 bytes";
        return false;
    }
    *files = static_cast<u16>(Get16(header.data()));
    *records = static_cast<u16>(Get16(header.data() + 2));
    listed->clear();
    for (u16 f = 0; f < *files; ++f)
    {
        const std::string path = dir + "/bmdt" + std::to_string(f) + ".bin";
        std::vector<u8> data;
        if (!ReadFile(path, &data))
        {
            *error = "cannot open " + path;
            return false;
        }
        size_t p = 0;
        while (p < data.size())
        {
            auto fail = [&](const char* what)
            {
                *error = path + " at " + std::to_string(p) + ": " + what;
                return false;
            };
            if (data.size() - p < 30)
                return fail("record header runs past the end");
            const u8* h = data.data() + p;
            ListedRecord r;
            r.file = f;
            r.offset = static_cast<u32>(p);
            r.type = static_cast<u16>(Get16(h) & 0xFF);
            r.width = static_cast<u16>(Get16(h + 2));
            r.height = static_cast<u16>(Get16(h + 4));
            r.value = Get32(h + 6);
            r.name.assign(reinterpret_cast<const char*>(h + 10),
                          strnlen(reinterpret_cast<const char*>(h + 10), 19));
            const u64 pixels = u64(r.width) * r.height;
            u64 size = 30;
            u64 padded = pixels;
            if (IsJpeg(r.type))
            {
                if (data.size() - p < 34)
                    return fail("stream length runs past the end");
                const u32 length = Get32(h + 30);
                size += 4 + u64(length);
                padded = length;
            }
            else if (IsPalette(r.type))
            {
                if (data.size() - p < 32)
                    return fail("palette header runs past the end");
                size += Get16(h + 30) + pixels;
            }
            else
                size += IsRgb(r.type) ? 3 * pixels : pixels;
            if (padded & 1)
                ++size;
            if (size > data.size() - p + ((padded & 1) ? 1 : 0))
                return fail("record runs past the end");
            r.size = static_cast<u32>(size);
            listed->push_back(r);
            p += size;
        }
    }
    return true;
}

} // namespace tools
