// The pack tool: writes bitmap packs and lists them, and writes the pictures
// of data files.
//   packtool sample <folder>         the sample data: start-up pack and data files
//   packtool write <folder> <list>   a pack from a list of pictures
//   packtool list <folder>           every record: type, size, name, value
//   packtool jpm <folder> <number> <picture.ppm> <alpha.pgm> [key]
//                                    a JPM picture "Data<number>.dat"; the
//                                    plane's 0 is opaque; key 0xB3 unless given
//   packtool tga <folder> <number> <picture.ppm|pgm> [alpha.pgm]
//                                    a TGA picture: 24-bit from a PPM, 32-bit
//                                    with a plane (0 opaque), 8-bit grey from a PGM
//   packtool datajpeg <folder> <number> <picture.ppm|pgm> [seed]
//                                    a plain JPEG scrambled with the rolling key
//                                    that starts from seed (0x6B unless given)
// A list line is "<data file> <type> <name> <value> <picture>", the picture a
// binary PPM (24-bit and JPEG types) or PGM (one-byte and grey JPEG types);
// palette types take the PPM's colours as their palette (at most 256). '#'
// starts a comment line.
#include "PackWriter.h"
#include "PictureWriter.h"
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
    std::fprintf(stderr, "usage: packtool sample <folder> | write <folder> <list> | list <folder>\n"
                         "       packtool jpm <folder> <number> <picture.ppm> <alpha.pgm> [key]\n"
                         "       packtool tga <folder> <number> <picture.ppm|pgm> [alpha.pgm]\n"
                         "       packtool datajpeg <folder> <number> <picture.ppm|pgm> [seed]\n");
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

bool MakeFolder(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return !ec;
}

int WriteSample(const std::string& dir)
{
    if (const int rc = Write(dir, MakeSamplePack()))
        return rc;
    for (const SampleDataFile& file : MakeSampleDataFiles())
    {
        if (file.bytes.empty() || !WriteDataFile(dir, file.number, file.bytes))
        {
            std::fprintf(stderr, "packtool: cannot write %s\n", DataFilePath(dir, file.number).c_str());
            return 1;
        }
    }
    return 0;
}

// The data-file pictures from netpbm files: argv holds the command's
// arguments after its name.
int WritePicture(const std::string& command, int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string dir = argv[0];
    const int number = std::atoi(argv[1]);
    int channels = 0, alphaChannels = 0;
    u16 w = 0, h = 0, aw = 0, ah = 0;
    std::vector<u8> pixels, alpha;
    if (!ReadNetpbm(argv[2], &channels, &w, &h, &pixels))
    {
        std::fprintf(stderr, "packtool: %s is no binary PPM or PGM\n", argv[2]);
        return 1;
    }
    const bool withAlpha = (command == "jpm" || command == "tga") && argc >= 4;
    if (withAlpha && (!ReadNetpbm(argv[3], &alphaChannels, &aw, &ah, &alpha) || alphaChannels != 1 ||
                      aw != w || ah != h || channels != 3))
    {
        std::fprintf(stderr, "packtool: %s is no PGM of %ux%u for a PPM picture\n", argv[3], w, h);
        return 1;
    }
    std::vector<u8> bytes;
    if (command == "jpm")
    {
        if (!withAlpha)
            return Usage();
        const u8 key = static_cast<u8>(argc >= 5 ? std::strtoul(argv[4], nullptr, 0) : 0xB3);
        bytes = WriteJpm(pixels.data(), alpha.data(), w, h, key, JpegOptions{});
    }
    else if (command == "tga")
    {
        if (withAlpha)
        {
            // TGA keeps opacity: 255 opaque.
            std::vector<u8> bgra;
            for (size_t i = 0; i < alpha.size(); ++i)
                bgra.insert(bgra.end(),
                            {pixels[3 * i], pixels[3 * i + 1], pixels[3 * i + 2], u8(255 - alpha[i])});
            bytes = WriteTga(TgaKind::Rgba32, true, w, h, bgra.data());
        }
        else
            bytes = WriteTga(channels == 3 ? TgaKind::Rgb24 : TgaKind::Grey8, false, w, h, pixels.data());
    }
    else
    {
        const u8 seed = static_cast<u8>(argc >= 4 ? std::strtoul(argv[3], nullptr, 0) : 0x6B);
        bytes = ScrambleDataJpeg(EncodeJpeg(pixels.data(), w, h, channels, JpegOptions{}), seed);
    }
    if (bytes.empty() || !MakeFolder(dir) || !WriteDataFile(dir, number, bytes))
    {
        std::fprintf(stderr, "packtool: cannot write %s\n", DataFilePath(dir, number).c_str());
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
        return WriteSample(argv[2]);
    if (command == "jpm" || command == "tga" || command == "datajpeg")
        return WritePicture(command, argc - 2, argv + 2);
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
