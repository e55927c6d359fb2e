// Crafted streams: every refusal with its code, the header rules around them,
// and hostile or damaged data that must end in a line count or a code.
#include "JpegTestSupport.h"

#include "image/jpeg/OJpegDecoder.h"
#include "image/jpeg/TJPEG_Decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <random>

using namespace jpegtest;

namespace
{
using Bytes = std::vector<u8>;

// Streams written segment by segment.
struct Stream
{
    Bytes b;
    Stream& Raw(std::initializer_list<int> bytes)
    {
        for (int v : bytes)
            b.push_back(static_cast<u8>(v));
        return *this;
    }
    Stream& Raw(const Bytes& bytes)
    {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
    Stream& Soi() { return Raw({0xFF, 0xD8}); }
    Stream& Eoi() { return Raw({0xFF, 0xD9}); }
    Stream& Segment(int marker, const Bytes& payload)
    {
        size_t n = payload.size() + 2;
        Raw({0xFF, marker, static_cast<int>(n >> 8), static_cast<int>(n & 255)});
        return Raw(payload);
    }
    // Table 0 of 64 equal 8-bit entries.
    Stream& Dqt(int table = 0, int value = 1)
    {
        Bytes p{static_cast<u8>(table)};
        p.insert(p.end(), 64, static_cast<u8>(value));
        return Segment(0xDB, p);
    }
    // A table of one code of length 1 ("0") for the given symbol.
    Stream& Dht(int classNumber, int symbol)
    {
        Bytes p{static_cast<u8>(classNumber), 1};
        p.insert(p.end(), 15, 0);
        p.push_back(static_cast<u8>(symbol));
        return Segment(0xC4, p);
    }
    Stream& Sof(int marker, int width, int height, std::initializer_list<std::initializer_list<int>> comps)
    {
        Bytes p{8,
                static_cast<u8>(height >> 8),
                static_cast<u8>(height),
                static_cast<u8>(width >> 8),
                static_cast<u8>(width),
                static_cast<u8>(comps.size())};
        for (auto c : comps)
            for (int v : c)
                p.push_back(static_cast<u8>(v));
        return Segment(marker, p);
    }
    Stream& Grey(int width = 8, int height = 8) { return Sof(0xC0, width, height, {{1, 0x11, 0}}); }
    Stream& Sos(std::initializer_list<std::initializer_list<int>> comps)
    {
        Bytes p{static_cast<u8>(comps.size())};
        for (auto c : comps)
            for (int v : c)
                p.push_back(static_cast<u8>(v));
        p.insert(p.end(), {0, 63, 0});
        return Segment(0xDA, p);
    }
    // DC and AC table 0 that turn zero bits into flat blocks: 2 bits a block.
    Stream& FlatTables() { return Dht(0x00, 0).Dht(0x10, 0x00); }
    Stream& Zeros(size_t n) { return Raw(Bytes(n, 0)); }
};

// A valid grey picture of flat blocks (every sample 128).
Stream FlatGrey(int width = 8, int height = 8)
{
    Stream s;
    s.Soi().Dqt().FlatTables().Grey(width, height).Sos({{1, 0x00}});
    return s;
}

Decoded DecodeStream(const Stream& s)
{
    return DecodeOurs(s.b);
}

void ExpectRefused(const Stream& s, int code, const char* what)
{
    Decoded d = DecodeStream(s);
    bool failed = d.begin == -1 || d.end == -1;
    EXPECT_TRUE(failed) << what;
    EXPECT_EQ(d.error, code) << what;
}
} // namespace

TEST(JpegErrors, MalformedTableSegments)
{
    Bytes tooMany{0x00};
    tooMany.insert(tooMany.end(), 16, 16); // 256 codes
    ExpectRefused(Stream().Soi().Segment(0xC4, tooMany), -200, "DHT with 256 codes");
    ExpectRefused(Stream().Soi().Dht(0x08, 0), -201, "DHT slot 8");
    ExpectRefused(Stream().Soi().Dht(0x1C, 0), -201, "AC table number 12");
    ExpectRefused(Stream().Soi().Raw({0xFF, 0xC4, 0x00, 0x01}), -202, "DHT length 1");
    Bytes shortTable{0x00, 5};
    shortTable.insert(shortTable.end(), 15, 0);
    shortTable.insert(shortTable.end(), {1, 2});
    ExpectRefused(Stream().Soi().Segment(0xC4, shortTable), -202, "DHT shorter than its symbols");
    ExpectRefused(Stream().Soi().Raw({0xFF, 0xDB, 0x00, 0x01}), -203, "DQT length 1");
    ExpectRefused(Stream().Soi().Dqt(4), -204, "DQT table 4");
    Bytes wideShort{0x10};
    wideShort.insert(wideShort.end(), 64, 1); // 16-bit entries need 128 bytes
    ExpectRefused(Stream().Soi().Segment(0xDB, wideShort), -219, "16-bit DQT too short");
    ExpectRefused(Stream().Soi().Raw({0xFF, 0xE0, 0x00, 0x01}), -210, "APP0 length 1");
    ExpectRefused(Stream().Soi().Raw({0xFF, 0xFE, 0x00, 0x00}), -210, "COM length 0");
    ExpectRefused(Stream().Soi().Segment(0xDD, {0, 1, 0}), -211, "DRI length 5");
}

TEST(JpegErrors, FrameHeaders)
{
    auto frame = [](int precision, int w, int h, int n, int length)
    {
        Stream s;
        s.Soi().Raw({0xFF, 0xC0, length >> 8, length & 255, precision, h >> 8, h & 255, w >> 8, w & 255, n});
        for (int i = 0; i < n; ++i)
            s.Raw({i + 1, 0x11, 0});
        return s;
    };
    ExpectRefused(frame(12, 8, 8, 1, 11), -205, "precision 12");
    ExpectRefused(frame(8, 8, 0, 1, 11), -206, "height 0");
    ExpectRefused(frame(8, 8, 8193, 1, 11), -206, "height 8193");
    ExpectRefused(frame(8, 0, 8, 1, 11), -207, "width 0");
    ExpectRefused(frame(8, 8193, 8, 1, 11), -207, "width 8193");
    ExpectRefused(frame(8, 8, 8, 5, 23), -208, "five components");
    ExpectRefused(frame(8, 8, 8, 1, 12), -209, "length one too long");
    ExpectRefused(Stream().Soi().Sof(0xC9, 8, 8, {{1, 0x11, 0}}), -215, "arithmetic frame");
    ExpectRefused(Stream().Soi().Segment(0xCC, {0, 0}), -215, "DAC segment");
    ExpectRefused(Stream().Soi().Sof(0xC3, 8, 8, {{1, 0x11, 0}}), -218, "lossless frame");
    ExpectRefused(Stream().Soi().Sof(0xCA, 8, 8, {{1, 0x11, 0}}), -218, "progressive arithmetic frame");
    ExpectRefused(Stream().Soi().Eoi(), -218, "EOI before a frame");
    ExpectRefused(Stream().Soi().Sos({{1, 0}}), -218, "SOS before a frame");
    ExpectRefused(Stream().Soi().Soi(), -218, "second SOI");
    for (int m : {0x01, 0xC8, 0xD0, 0xD7})
        ExpectRefused(Stream().Soi().Raw({0xFF, m}), -216, "TEM, JPG or RST among header markers");

    // 8192 is the largest size, and memory follows the width only.
    Decoded big = DecodeStream(FlatGrey(8192, 8192).Eoi());
    EXPECT_EQ(big.begin, 0);
    EXPECT_EQ(big.end, 1);
    EXPECT_EQ(big.lines, 8192);
}

TEST(JpegErrors, FrameLayoutsAndScans)
{
    auto colour = [](int f1, int f2, int f3)
    {
        Stream s;
        s.Soi().Dqt().FlatTables().Sof(0xC0, 16, 16, {{1, f1, 0}, {2, f2, 0}, {3, f3, 0}});
        return s;
    };
    ExpectRefused(Stream(colour(0x22, 0x11, 0x21)).Sos({{1, 0}, {2, 0}, {3, 0}}), -226, "chroma 2x1");
    ExpectRefused(Stream(colour(0x31, 0x11, 0x11)).Sos({{1, 0}, {2, 0}, {3, 0}}), -226, "luma 3x1");
    ExpectRefused(Stream(colour(0x00, 0x11, 0x11)).Sos({{1, 0}, {2, 0}, {3, 0}}), -226, "luma 0x0");
    ExpectRefused(Stream().Soi().Dqt().FlatTables().Sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}}), -225,
                  "two components");
    ExpectRefused(Stream().Soi().Dqt().FlatTables().Sof(
                      0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}),
                  -225, "four components");
    ExpectRefused(Stream().Soi().Dqt().FlatTables().Sof(0xC0, 8, 8, {{1, 0x01, 0}}).Sos({{1, 0}}), -224,
                  "grey with a zero factor");
    Decoded greyFactors = DecodeStream(
        Stream().Soi().Dqt().FlatTables().Sof(0xC0, 9, 9, {{1, 0x22, 0}}).Sos({{1, 0}}).Zeros(4));
    EXPECT_EQ(greyFactors.end, 1) << "grey factors other than 1x1 are not examined";
    EXPECT_EQ(greyFactors.lines, 9);

    EXPECT_EQ(DecodeStream(FlatGrey().Zeros(2).Eoi()).end, 1);

    Stream base;
    base.Soi().Dqt().FlatTables().Grey();
    ExpectRefused(Stream(base).Raw({0xFF, 0xDA, 0, 9, 1, 1, 0, 0, 63, 0, 0}), -212, "SOS length");
    ExpectRefused(Stream(base).Raw({0xFF, 0xDA, 0, 6, 0, 0, 63, 0}), -212, "no scan components");
    ExpectRefused(Stream(base).Sos({{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}), -212, "five scan components");
    ExpectRefused(Stream(base).Sos({{7, 0}}), -213, "component not in the frame");
    ExpectRefused(Stream(base).Eoi(), -216, "no scan before EOI");
    ExpectRefused(Stream(base).Grey(), -216, "a second frame where a scan is expected");

    ExpectRefused(Stream(colour(0x22, 0x11, 0x11)).Sos({{1, 0}}), -214, "first scan holds one of three");
    ExpectRefused(Stream(colour(0x22, 0x11, 0x11)).Sos({{1, 0}, {1, 0}, {2, 0}}), -214,
                  "component named twice");
    ExpectRefused(Stream(colour(0x22, 0x11, 0x11)).Sos({{1, 0}, {1, 0}, {1, 0}}), -230, "MCU of 12 blocks");
    EXPECT_EQ(DecodeStream(Stream(colour(0x22, 0x11, 0x11)).Sos({{1, 0}, {2, 0}, {3, 0}}).Zeros(4)).end, 1);

    ExpectRefused(Stream().Soi().Dqt().Dht(0x10, 0).Grey().Sos({{1, 0}}), -223, "no DC table");
    ExpectRefused(Stream().Soi().Dqt().Dht(0x00, 0).Grey().Sos({{1, 0}}), -223, "no AC table");
    ExpectRefused(Stream(base).Sos({{1, 0x0F}}), -223, "AC selector beyond the slots");
    ExpectRefused(Stream(base).Sos({{1, 0x80}}), -223, "DC selector beyond the slots");
    // A DC selector of 4 reads the place of AC table 0.
    EXPECT_EQ(DecodeStream(Stream(base).Sos({{1, 0x40}}).Zeros(2)).end, 1);
    ExpectRefused(Stream().Soi().Dqt(1).FlatTables().Grey().Sos({{1, 0}}), -222, "no quantisation table 0");
    ExpectRefused(Stream().Soi().Dqt().FlatTables().Sof(0xC0, 8, 8, {{1, 0x11, 4}}).Sos({{1, 0}}), -222,
                  "quantisation table 4");
}

TEST(JpegErrors, EntropyCodedData)
{
    // DC category 16 is no category.
    ExpectRefused(Stream().Soi().Dqt().Dht(0x00, 16).Dht(0x10, 0).Grey().Sos({{1, 0}}).Zeros(4), -220,
                  "DC 16");
    // Four runs of 15 zeros and a coefficient pass position 63; so do four ZRLs.
    ExpectRefused(Stream().Soi().Dqt().Dht(0x00, 0).Dht(0x10, 0xF1).Grey().Sos({{1, 0}}).Zeros(4), -227,
                  "run");
    ExpectRefused(Stream().Soi().Dqt().Dht(0x00, 0).Dht(0x10, 0xF0).Grey().Sos({{1, 0}}).Zeros(4), -227,
                  "ZRL");
    // Three ZRLs end at position 49, and a run of 14 then lands on 63.
    {
        Stream s;
        s.Soi().Dqt();
        Bytes ac{0x10, 0, 2}; // codes "00" ZRL, "01" run 14 size 1
        ac.insert(ac.end(), 14, 0);
        ac.insert(ac.end(), {0xF0, 0xE1});
        s.Segment(0xC4, ac).Dht(0x00, 0).Grey().Sos({{1, 0}});
        // DC "0", ZRL x3 "000000", "01" + value bit "1", then the block is full.
        s.Raw({0b00000000, 0b11000000, 0, 0}).Eoi();
        Decoded d = DecodeStream(s);
        EXPECT_EQ(d.end, 1) << d.error;
    }

    // A bit pattern that is no code reads as symbol 0: all one-bits decode
    // to flat blocks without an error.
    {
        Stream s = FlatGrey(16, 16);
        for (int i = 0; i < 64; ++i)
            s.Raw({0xFF, 0x00});
        Decoded d = DecodeStream(s.Eoi());
        ASSERT_EQ(d.end, 1);
        for (u8 v : d.image.data)
            ASSERT_EQ(v, 128);
    }

    // A quantisation entry of 0xFF00 acts as -256: DC difference 2 gives
    // sample (-2048 + 16) >> 5 + 128 = 64.
    {
        Stream s;
        Bytes q{0x10, 0xFF, 0x00};
        for (int i = 1; i < 64; ++i)
            q.insert(q.end(), {0, 1});
        s.Soi().Segment(0xDB, q).Dht(0x00, 2).Dht(0x10, 0).Grey().Sos({{1, 0}});
        s.Raw({0b01000000}).Eoi(); // "0" DC size 2, "10" = +2, "0" EOB
        Decoded d = DecodeStream(s);
        ASSERT_EQ(d.end, 1);
        EXPECT_EQ(d.image.data[0], 64);
        EXPECT_EQ(d.image.data[63], 64);
    }
}

TEST(JpegErrors, RestartMarkers)
{
    // Four MCUs with a restart after each: RST0, RST1, RST2 in turn.
    auto picture = [](std::initializer_list<int> markers)
    {
        Stream s;
        s.Soi().Dqt().FlatTables().Segment(0xDD, {0, 1}).Grey(32, 8).Sos({{1, 0}});
        s.Raw({0x00});
        for (int m : markers)
            s.Raw({0xFF, m, 0x00});
        return s.Eoi();
    };
    EXPECT_EQ(DecodeStream(picture({0xD0, 0xD1, 0xD2})).end, 1);
    ExpectRefused(picture({0xD0, 0xD2, 0xD3}), -228, "RST2 where RST1 is due");
    ExpectRefused(picture({0xD0}), -228, "EOI where RST1 is due");

    // Eight restarts wrap round to RST0; the tenth MCU expects RST1.
    {
        Stream s;
        s.Soi().Dqt().FlatTables().Segment(0xDD, {0, 1}).Grey(80, 8).Sos({{1, 0}}).Raw({0x00});
        for (int i = 0; i < 9; ++i)
            s.Raw({0xFF, 0xD0 + (i & 7), 0x00});
        Decoded d = DecodeStream(s.Eoi());
        EXPECT_EQ(d.end, 1) << d.error;
    }
    // The marker is searched for among at most 1536 bytes.
    auto padded = [](size_t n)
    {
        Stream s;
        s.Soi().Dqt().FlatTables().Segment(0xDD, {0, 1}).Grey(16, 8).Sos({{1, 0}}).Raw({0x00});
        s.Raw(Bytes(n, 0x11)).Raw({0xFF, 0xD0, 0x00});
        return s.Eoi();
    };
    // The search starts where a reader of 32 bits refilled 16 bits at a time
    // stands: 2 bits used leave it 4 bytes in, so 1537 padding bytes put the
    // marker's D0 at the 1536th byte searched.
    EXPECT_EQ(DecodeStream(padded(1500)).end, 1);
    EXPECT_EQ(DecodeStream(padded(1537)).end, 1);
    ExpectRefused(padded(1538), -228, "restart marker beyond 1536 bytes");
    ExpectRefused(padded(1600), -228, "restart marker beyond 1536 bytes");
    // A damaged interval that ends short of its marker: a stuffed FF 00 in
    // the bytes such a reader would not yet have taken stops the search, one
    // it would have taken does not.
    auto junk = [](std::initializer_list<int> bytes)
    {
        Stream s;
        s.Soi().Dqt().FlatTables().Segment(0xDD, {0, 1}).Grey(16, 8).Sos({{1, 0}}).Raw({0x00});
        return s.Raw(bytes).Raw({0xFF, 0xD0, 0x00}).Eoi();
    };
    ExpectRefused(junk({0x11, 0x11, 0x11, 0x11, 0xFF, 0x00, 0x11}), -228, "FF 00 met by the search");
    EXPECT_EQ(DecodeStream(junk({0x11, 0xFF, 0x00, 0x11, 0x11, 0x11, 0x11})).end, 1);
    // The same where the input's 4096-byte runs split those bytes: a comment
    // in front moves them across the boundary.
    for (int shift = 0; shift < 24; ++shift)
    {
        Stream s;
        s.Soi().Segment(0xFE, Bytes(3930 + static_cast<size_t>(shift), 'c'));
        s.Dqt().FlatTables().Segment(0xDD, {0, 1}).Grey(16, 8).Sos({{1, 0}}).Raw({0x00});
        s.Raw({0x11, 0x11, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x11, 0xFF, 0xD0, 0x00}).Eoi();
        ExpectRefused(s, -228, "FF 00 met by the search across a refill");
    }
    // The restart interval is state of one image only.
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    Stream withDri = picture({0xD0, 0xD1, 0xD2});
    OJpegData a(static_cast<i32>(withDri.b.size()), withDri.b.data());
    ASSERT_EQ(dec->Begin(&a), 0);
    Stream plain = FlatGrey(32, 8).Zeros(2).Eoi();
    OJpegData b(static_cast<i32>(plain.b.size()), plain.b.data());
    ASSERT_EQ(dec->Begin(&b), 0);
    u8* line;
    u32 length;
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(dec->DecodeLine(&line, &length), 0);
    EXPECT_EQ(dec->DecodeLine(&line, &length), 1);
    dec->Delete();
}

TEST(JpegErrors, StartOfImageSearch)
{
    auto withPreamble = [](size_t n, int after)
    {
        Stream s;
        s.Raw(Bytes(n, 0x20)).Soi();
        s.b.push_back(static_cast<u8>(after));
        Stream rest = FlatGrey().Zeros(2).Eoi();
        s.b.insert(s.b.end(), rest.b.begin() + 3, rest.b.end()); // its own SOI and the FF after it left out
        return s;
    };
    EXPECT_EQ(DecodeStream(withPreamble(0, 0xFF)).end, 1);
    EXPECT_EQ(DecodeStream(withPreamble(1, 0xFF)).end, 1);
    EXPECT_EQ(DecodeStream(withPreamble(511, 0xFF)).end, 1);
    ExpectRefused(withPreamble(512, 0xFF), -217, "SOI at offset 512");
    ExpectRefused(withPreamble(5, 0x00), -217, "SOI found later, not followed by FF");
    ExpectRefused(Stream(), -217, "empty stream");
    ExpectRefused(Stream().Raw({0xFF}), -217, "one byte");

    // APPn and COM segments anywhere among the header markers, tables after
    // the frame header: all the same picture.
    Stream s;
    s.Soi().Segment(0xE0, {'J', 'F', 'I', 'F', 0}).Dqt().Segment(0xFE, {'h', 'i'}).Grey(8, 8);
    s.Segment(0xE5, {}).FlatTables().Segment(0xFE, {}).Sos({{1, 0}}).Zeros(2).Eoi();
    Decoded d = DecodeStream(s);
    EXPECT_EQ(d.end, 1);
    EXPECT_EQ(d.image.data, Bytes(64, 128));
}

TEST(JpegErrors, LaterTablesReplaceEarlierOnesAndNothingSurvivesAnImage)
{
    // DC table 0 first says "size 5", then a second DHT makes it "size 0";
    // with the first, the picture would not be flat.
    Stream s;
    s.Soi()
        .Dqt(0, 4)
        .Dht(0x00, 5)
        .Dht(0x10, 0)
        .Dht(0x00, 0)
        .Grey(16, 8)
        .Sos({{1, 0}})
        .Raw({0x5A, 0xA5})
        .Eoi();
    Decoded d = DecodeStream(s);
    ASSERT_EQ(d.end, 1);
    EXPECT_EQ(d.image.data, Bytes(128, 128));

    // A stream without tables after one with them: the tables are gone.
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    Stream full = FlatGrey().Zeros(2).Eoi();
    Stream bare;
    bare.Soi().Grey().Sos({{1, 0}}).Zeros(2).Eoi();
    OJpegData a(static_cast<i32>(full.b.size()), full.b.data());
    OJpegData b(static_cast<i32>(bare.b.size()), bare.b.data());
    EXPECT_EQ(dec->Begin(&a), 0);
    EXPECT_EQ(dec->Begin(&b), -1);
    EXPECT_EQ(dec->GetErrorCode(), -223);
    u8* line = nullptr;
    u32 length = 0;
    EXPECT_EQ(dec->DecodeLine(&line, &length), -1);
    EXPECT_EQ(dec->DecodeLine(&line, &length), -1) << "a failed image stays failed";
    a.SetData(static_cast<i32>(full.b.size()), full.b.data());
    EXPECT_EQ(dec->Begin(&a), 0) << "and the next Begin starts afresh";
    EXPECT_EQ(dec->GetErrorCode(), 0);
    dec->Delete();
}

TEST(JpegErrors, TablesAfterTheScanAreReadAtTheLastRow)
{
    // After the last MCU row the headers are read once more; a broken DHT
    // there fails the image before its last row is delivered.
    Stream s = FlatGrey(8, 24).Zeros(2);
    s.Raw({0xFF, 0xC4, 0x00, 0x01}).Eoi();
    Decoded d = DecodeStream(s);
    EXPECT_EQ(d.begin, 0);
    EXPECT_EQ(d.end, -1);
    EXPECT_EQ(d.error, -202);
    EXPECT_EQ(d.lines, 16);
}

namespace
{
// A source that fails on its n-th read.
class FailingStream : public TJPEG_Stream
{
public:
    FailingStream(const Bytes& d, int failAt) : data(d), failAt(failAt) {}
    i32 Read(u8* buffer, i32 max, u32* end) override
    {
        if (++reads == failAt)
            return -1;
        i32 n = static_cast<i32>(std::min<size_t>(static_cast<size_t>(max), data.size() - pos));
        std::memcpy(buffer, data.data() + pos, static_cast<size_t>(n));
        pos += static_cast<size_t>(n);
        *end = pos >= data.size();
        return n;
    }

private:
    const Bytes& data;
    int failAt;
    int reads = 0;
    size_t pos = 0;
};
} // namespace

TEST(JpegErrors, StreamsAndMemory)
{
    EncodeOptions o;
    Bytes jpeg = Encode(MakePicture(400, 200, 3, 3), 400, 200, o);
    ASSERT_GT(jpeg.size(), 8192u);
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    FailingStream atOnce(jpeg, 1);
    EXPECT_EQ(dec->Begin(&atOnce), -1);
    EXPECT_EQ(dec->GetErrorCode(), -232);
    FailingStream later(jpeg, 2);
    ASSERT_EQ(dec->Begin(&later), 0);
    u8* line;
    u32 length;
    int r, lines = 0;
    while ((r = dec->DecodeLine(&line, &length)) == 0)
        ++lines;
    EXPECT_EQ(r, -1);
    EXPECT_EQ(dec->GetErrorCode(), -232);
    EXPECT_LT(lines, 200);

    // No source at all, and a memory source with no block: nothing to read.
    EXPECT_EQ(dec->Begin(nullptr), -1);
    EXPECT_EQ(dec->GetErrorCode(), -217);
    OJpegData empty;
    u32 end = 7;
    u8 buf[4];
    EXPECT_EQ(empty.Read(buf, 4, &end), 0);
    EXPECT_EQ(end, 7u) << "the end flag is left alone without a block";
    EXPECT_EQ(dec->Begin(&empty), -1);
    EXPECT_EQ(dec->GetErrorCode(), -217);

    // The block list holds 100 blocks; the 101st request fails the image.
    Stream flat = FlatGrey().Zeros(2).Eoi();
    OJpegData data(static_cast<i32>(flat.b.size()), flat.b.data());
    ASSERT_EQ(dec->Begin(&data), 0);
    int got = 0;
    while (dec->AllocBlock(16) != nullptr)
        ++got;
    EXPECT_GT(got, 80);
    EXPECT_LT(got, 100);
    EXPECT_EQ(dec->GetErrorCode(), -221);
    EXPECT_EQ(dec->DecodeLine(&line, &length), -1);
    dec->Delete();

    // OJpegData hands out its block in pieces and flags the end with the last.
    u8 block[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    OJpegData mem(10, block);
    u8 out[8];
    end = 0;
    EXPECT_EQ(mem.Read(out, 8, &end), 8);
    EXPECT_EQ(end, 0u);
    EXPECT_EQ(mem.Read(out, 8, &end), 2);
    EXPECT_EQ(end, 1u);
    EXPECT_EQ(out[1], 10);
    EXPECT_EQ(mem.Read(out, 8, &end), 0);
}

TEST(JpegErrors, ProgressiveFramesStopAtBegin)
{
    EncodeOptions o;
    o.progressive = true;
    Bytes jpeg = Encode(MakePicture(16, 16, 3, 4), 16, 16, o);
    OJpegDecoder* holder = OJpegDecoder::Create();
    ASSERT_NE(holder->GetDecoder(), nullptr);
    OJpegData data(static_cast<i32>(jpeg.size()), jpeg.data());
    EXPECT_EQ(holder->Begin(&data), -1);
    EXPECT_EQ(holder->GetDecoder()->GetErrorCode(), 0);
    u8* line;
    u32 length;
    EXPECT_EQ(holder->DecodeLine(&line, &length), -1);
    holder->Close();
    EXPECT_EQ(holder->GetDecoder(), nullptr);
    EXPECT_EQ(holder->Begin(&data), -1);
    delete holder;

    // A holder made in place is empty until opened.
    Stream flat = FlatGrey().Zeros(2).Eoi();
    OJpegData plain(static_cast<i32>(flat.b.size()), flat.b.data());
    OJpegDecoder local;
    EXPECT_EQ(local.Begin(&plain), -1);
    local.Open();
    EXPECT_EQ(local.Begin(&plain), 0);
    EXPECT_EQ(local.DecodeLine(&line, &length), 0);
    EXPECT_EQ(length, 8u);
}

TEST(JpegErrors, LinesComeInPairsAndCountTheWidthOnly)
{
    EncodeOptions o;
    o.layout = Layout::S420;
    Bytes jpeg = Encode(MakePicture(21, 19, 3, 5), 21, 19, o);
    TJPEG_Decoder* dec = TJPEG_Decoder::Create();
    OJpegData data(static_cast<i32>(jpeg.size()), jpeg.data());
    ASSERT_EQ(dec->Begin(&data), 0);
    u8* lines[19];
    u32 length = 0;
    for (int i = 0; i < 19; ++i)
    {
        ASSERT_EQ(dec->DecodeLine(&lines[i], &length), 0);
        EXPECT_EQ(length, 21u * 4);
        EXPECT_EQ(lines[i][3], 0) << "the fourth byte of a pixel stays 0";
    }
    u8* none;
    EXPECT_EQ(dec->DecodeLine(&none, &length), 1);
    EXPECT_EQ(dec->DecodeLine(&none, &length), 1);
    // Even lines of an MCU row in the first buffer, odd ones in the second.
    EXPECT_NE(lines[0], lines[1]);
    EXPECT_EQ(lines[0], lines[2]);
    EXPECT_EQ(lines[1], lines[3]);
    dec->Delete();
}

TEST(JpegErrors, TruncatedAndCorruptedStreamsEndCleanly)
{
    std::mt19937 rng(99);
    const Layout layouts[] = {Layout::Grey, Layout::S444, Layout::S422, Layout::S440, Layout::S420};
    for (Layout layout : layouts)
    {
        EncodeOptions o;
        o.layout = layout;
        o.restartInterval = layout == Layout::S420 ? 2 : 0;
        int channels = layout == Layout::Grey ? 1 : 3;
        Bytes jpeg = Encode(MakePicture(37, 29, channels, 6), 37, 29, o);
        size_t sos = 0;
        for (size_t i = 0; i + 1 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
                sos = i;
        for (size_t n = 0; n < jpeg.size(); n += (n < sos + 20 ? 1 : 5))
        {
            Decoded d = DecodeOurs(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(n)));
            if (d.begin == 0)
            {
                // Cut inside the data: the endless end markers stand in for the
                // rest as data, so every line comes unless a check fails on them.
                ASSERT_TRUE(d.end == 1 || (d.end == -1 && d.error <= -200)) << n << " " << d.error;
                if (d.end == 1)
                {
                    ASSERT_EQ(d.lines, 29);
                }
            }
            else
            {
                ASSERT_LE(d.error, -200) << n;
            }
        }
        for (int i = 0; i < 300; ++i)
        {
            Bytes bad = jpeg;
            int flips = 1 + static_cast<int>(rng() % 4);
            for (int f = 0; f < flips; ++f)
                bad[rng() % bad.size()] = static_cast<u8>(rng());
            Decoded d = DecodeOurs(bad);
            if (d.begin == 0 && d.end == 1)
            {
                ASSERT_EQ(d.lines, d.image.height);
            }
            else
            {
                ASSERT_LE(d.error, -200);
            }
        }
    }
}
