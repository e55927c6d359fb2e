// The pack tool: writes bitmap packs and lists them.
//   packtool sample <folder>         the sample data's start-up pack
//   packtool write <folder> <list>   a pack from a list of pictures
//   packtool list <folder>           every record: type, size, name, value
// A list line is "<data file> <type> <name> <value> <picture>", the picture a
// binary PPM (24-bit and JPEG types) or PGM (one-byte and grey JPEG types);
// palette types take the PPM's colours as their palette (at most 256). '#'
// starts a comment line.
#include "PackWriter.h"
#include "SampleData.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace tools;

namespace
{

int Usage()
{
    std::fprintf(stderr, "usage: packtool sample <folder> | write <folder> <list> | list <folder>\n");
    return 2;
}

// A binary PPM or PGM: width, height and the samples (3 or 1 per pixel).
bool ReadNetpbm(const std::string& path, int* channels, u16* w, u16* h, std::vector<u8>* samples)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maxval = 0;
    if (!(in >> magic >> width >> height >> maxval) || (magic != "P6" && magic != "P5") || maxval != 255 ||
        width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return false;
    in.get();
    *channels = magic == "P6" ? 3 : 1;
    *w = static_cast<u16>(width);
    *h = static_cast<u16>(height);
    samples->resize(size_t(width) * height * size_t(*channels));
    in.read(reinterpret_cast<char*>(samples->data()), static_cast<std::streamsize>(samples->size()));
    // Netpbm stores red, green, blue; records blue, green, red.
    if (*channels == 3)
        for (size_t i = 0; i < samples->size(); i += 3)
            std::swap((*samples)[i], (*samples)[i + 2]);
    return static_cast<bool>(in);
}

bool FromList(const std::string& listPath, PackFiles* files, std::string* error)
{
    std::ifstream list(listPath);
    if (!list)
    {
        *error = "cannot open " + listPath;
        return false;
    }
    const std::filesystem::path base = std::filesystem::path(listPath).parent_path();
    std::string line;
    int number = 0;
    // "<list>:<line>: <what>"
    auto fail = [&](const std::string& what)
    {
        *error = listPath;
        error->append(":").append(std::to_string(number)).append(": ").append(what);
        return false;
    };
    while (std::getline(list, line))
    {
        ++number;
        std::istringstream fields(line);
        std::string picture, name, value;
        int file = 0, type = 0;
        if (line.empty() || line[0] == '#')
            continue;
        if (!(fields >> file >> type >> name >> value >> picture) || file < 0 || file > 255 || type < 0 ||
            type > 255)
        {
            *error =
                listPath + ":" + std::to_string(number) + ": expected <file> <type> <name> <value> <picture>";
            return false;
        }
        PackImage image;
        image.type = static_cast<u16>(type);
        image.name = name;
        image.value = static_cast<u32>(std::strtoul(value.c_str(), nullptr, 0));
        int channels = 0;
        std::vector<u8> samples;
        if (!ReadNetpbm((base / picture).string(), &channels, &image.width, &image.height, &samples))
        {
            return fail(picture + " is no binary PPM or PGM");
        }
        const bool wantsColour = type <= 11 || type == 13 || (type >= 16 && type <= 20);
        if (type == 22 || type == 23)
            image.jpegGrey = channels == 1;
        else if (wantsColour != (channels == 3))
            return fail("type " + std::to_string(type) + (wantsColour ? " needs a PPM" : " needs a PGM"));
        if (type >= 16 && type <= 20)
        {
            std::map<u32, u8> index;
            for (size_t i = 0; i < samples.size(); i += 3)
            {
                const u32 c = samples[i] | (samples[i + 1] << 8) | (samples[i + 2] << 16);
                auto it = index.find(c);
                if (it == index.end())
                {
                    if (index.size() == 256)
                    {
                        return fail("more than 256 colours");
                    }
                    it = index.emplace(c, static_cast<u8>(index.size())).first;
                    image.palette.insert(image.palette.end(), samples.begin() + long(i),
                                         samples.begin() + long(i) + 3);
                }
                image.pixels.push_back(it->second);
            }
        }
        else
            image.pixels = std::move(samples);
        if (files->size() <= size_t(file))
            files->resize(size_t(file) + 1);
        (*files)[size_t(file)].push_back(std::move(image));
    }
    return true;
}

int Write(const std::string& dir, const PackFiles& files)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string error;
    if (!WritePack(dir, files, &error))
    {
        std::fprintf(stderr, "packtool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int List(const std::string& dir)
{
    u16 files = 0, records = 0;
    std::vector<ListedRecord> listed;
    std::string error;
    const bool ok = ListPack(dir, &files, &records, &listed, &error);
    std::printf("%s: %u data files, %u records in the header, %zu found\n", dir.c_str(), files, records,
                listed.size());
    std::printf("%6s %4s %6s %10s %4s %11s  %s\n", "record", "file", "offset", "size", "type", "value",
                "name");
    for (size_t r = 0; r < listed.size(); ++r)
    {
        const ListedRecord& l = listed[r];
        // Record numbers in decimal, colour keys in hex.
        const bool names = l.type == 2 || l.type == 12 || l.type == 20 || l.type == 23;
        char value[16];
        std::snprintf(value, sizeof value, names ? "record %u" : "%#x", l.value);
        std::printf("%6zu %4u %6u %5ux%-4u %4u %11s  %s\n", r, l.file, l.offset, l.width, l.height, l.type,
                    value, l.name.c_str());
    }
    if (!ok)
    {
        std::fprintf(stderr, "packtool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string command = argv[1];
    if (command == "sample" && argc == 3)
        return Write(argv[2], MakeSamplePack());
    if (command == "list" && argc == 3)
        return List(argv[2]);
    if (command == "write" && argc == 4)
    {
        PackFiles files;
        std::string error;
        if (!FromList(argv[3], &files, &error))
        {
            std::fprintf(stderr, "packtool: %s\n", error.c_str());
            return 1;
        }
        return Write(argv[2], files);
    }
    return Usage();
}
