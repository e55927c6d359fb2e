#include "image/jpeg/TJPEG_Decoder.h"

#include "image/jpeg/TJPEG_Kernels.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
// Thrown by Fail to leave the operation in progress; caught by the public
// calls, which then return -1.
struct JpegAbort
{
};

enum : u32
{
    M_SOF0 = 0xC0,
    M_SOF1 = 0xC1,
    M_SOF2 = 0xC2,
    M_SOF3 = 0xC3,
    M_DHT = 0xC4,
    M_SOF5 = 0xC5,
    M_SOF7 = 0xC7,
    M_JPG = 0xC8,
    M_SOF9 = 0xC9,
    M_SOF11 = 0xCB,
    M_DAC = 0xCC,
    M_SOF13 = 0xCD,
    M_SOF15 = 0xCF,
    M_RST0 = 0xD0,
    M_RST7 = 0xD7,
    M_SOI = 0xD8,
    M_EOI = 0xD9,
    M_SOS = 0xDA,
    M_DQT = 0xDB,
    M_DRI = 0xDD,
    M_TEM = 0x01,
};

constexpr u8 kZigZag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  //
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, //
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, //
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// The EXTEND procedure's tables, as the hot loop reads them without a
// register for their base.
constexpr i32 kExtendThreshold[16] = {0,   1,   2,   4,    8,    16,   32,   64,
                                      128, 256, 512, 1024, 2048, 4096, 8192, 16384};
constexpr i32 kExtendOffset[16] = {0,    -1,   -3,    -7,    -15,   -31,   -63,    -127,
                                   -255, -511, -1023, -2047, -4095, -8191, -16383, -32767};

constexpr bool ExtendTablesHold()
{
    for (i32 s = 0; s < 16; ++s)
        if (kExtendThreshold[s] != (s == 0 ? 0 : 1 << (s - 1)) || kExtendOffset[s] != 1 - (1 << s))
            return false;
    return true;
}
static_assert(ExtendTablesHold(), "threshold 2^(s-1) and offset (-1 << s) + 1");

inline u8 Clamp(i32 v)
{
    return static_cast<u8>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
} // namespace

// ---------------------------------------------------------------------------
// Life cycle and memory

TJPEG_Decoder* TJPEG_Decoder::Create()
{
    auto* d = new (std::nothrow) TJPEG_Decoder;
    if (d == nullptr)
        return nullptr;
    d->InitTables();
    if (d->tables == nullptr)
    {
        delete d;
        return nullptr;
    }
    return d;
}

void TJPEG_Decoder::InitTables()
{
    tables = new (std::nothrow) Tables;
    if (tables == nullptr)
        return;
    for (i32 k = 0; k < 80; ++k)
        tables->zigZag[k] = kZigZag[k < 64 ? k : 63];
    for (i32 s = 0; s < 16; ++s)
    {
        tables->extendThreshold[s] = s == 0 ? 0 : 1 << (s - 1);
        tables->extendOffset[s] = static_cast<i32>(~0u << s) + 1;
    }
}

void TJPEG_Decoder::Destroy()
{
    FreeBlocks();
    delete tables;
    tables = nullptr;
    ready = false;
}

void TJPEG_Decoder::Delete()
{
    Destroy();
    delete this;
}

void TJPEG_Decoder::FreeBlocks()
{
    for (i32 i = 0; i < blockCount; ++i)
        std::free(blocks[i]);
    blockCount = 0;
    stream = nullptr;
    coefRow = nullptr;
    sampleRow = nullptr;
    lastPos = nullptr;
    line0 = nullptr;
    line1 = nullptr;
}

void TJPEG_Decoder::Fail(i32 code)
{
    errorCode = code;
    ready = false;
    FreeBlocks();
    throw JpegAbort{};
}

u8* TJPEG_Decoder::Alloc(u32 n)
{
    if (blockCount >= kMaxBlocks)
        Fail(JPEG_E_BLOCK_LIST_FULL);
    // 32 spare bytes give a 32-byte aligned start for the vector code.
    void* p = std::calloc(static_cast<size_t>(n) + 32, 1);
    if (p == nullptr)
        Fail(JPEG_E_NO_MEMORY);
    blocks[blockCount++] = p;
    auto addr = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<u8*>((addr + 31) & ~static_cast<uintptr_t>(31));
}

u8* TJPEG_Decoder::AllocBlock(u32 n)
{
    try
    {
        return Alloc(n);
    }
    catch (const JpegAbort&)
    {
        return nullptr;
    }
}

void TJPEG_Decoder::Init(TJPEG_Stream* s)
{
    stream = s;
    width = height = 0;
    errorCode = 0;
    progressive = false;
    ready = false;
    for (Huffman& h : huff)
        h.defined = false;
    std::memset(quant, 0, sizeof quant);
    for (bool& q : quantDefined)
        q = false;
    std::memset(comps, 0, sizeof comps);
    compCount = scanCount = 0;
    kind = Kind::Grey;
    bytesPerPixel = 1;
    blocksPerMcu = mcuWidth = mcuHeight = mcusAcross = 0;
    restartInterval = mcusLeft = nextRestart = 0;
    streamEnded = s == nullptr ? 1u : 0u;
    pastEnd = false;
    endToggle = false;
    readPos = readEnd = input + kInputFront;
    bitBuffer = 0;
    bitCount = 0;
    lineLength = 0;
    linesLeft = rowLinesLeft = 0;
    FillInput();
}

// ---------------------------------------------------------------------------
// Input

void TJPEG_Decoder::FillInput()
{
    u8* data = input + kInputFront;
    // The last bytes of the previous run stay in front of the new one, so
    // that ReturnReadAhead can step back over them.
    if (readEnd > data)
        std::memmove(data - kInputKeep, readEnd - kInputKeep, kInputKeep);
    readPos = data;
    i32 have = 0;
    while (streamEnded == 0 && have < kInputSize)
    {
        u32 end = 0;
        i32 n = stream->Read(data + have, kInputSize - have, &end);
        if (n < 0)
            Fail(JPEG_E_READ);
        if (n > kInputSize - have)
            n = kInputSize - have;
        have += n;
        // A source that gives nothing would otherwise be asked forever.
        if (end != 0 || n == 0)
            streamEnded = 1;
    }
    readEnd = data + have;
}

u8 TJPEG_Decoder::GetByte()
{
    if (readPos >= readEnd)
    {
        FillInput();
        if (readPos >= readEnd)
        {
            // Past the end: an endless run of EOI markers, so that every reader
            // meets an end it knows without testing for one.
            pastEnd = true;
            u8 v = endToggle ? 0xD9 : 0xFF;
            endToggle = !endToggle;
            return v;
        }
    }
    pastEnd = false;
    return *readPos++;
}

void TJPEG_Decoder::UngetByte(u8 b)
{
    // Never more bytes are pushed back than were taken since the last fill,
    // plus two; the 128 bytes in front of the data area cover that.
    if (readPos > input)
        *--readPos = b;
}

u32 TJPEG_Decoder::Read16()
{
    u32 hi = GetByte();
    return (hi << 8) | GetByte();
}

// ---------------------------------------------------------------------------
// Headers

void TJPEG_Decoder::ReadSOI()
{
    u32 prev = GetByte();
    u32 cur = GetByte();
    if (prev == 0xFF && cur == M_SOI)
        return;
    // Some files carry a short preamble; the SOI is searched for with its FF
    // at offset 511 at the latest.
    for (u32 offset = 1; offset <= 511; ++offset)
    {
        prev = cur;
        cur = GetByte();
        if (prev == 0xFF && cur == M_SOI)
        {
            u8 next = GetByte();
            if (next != 0xFF)
                Fail(JPEG_E_NO_SOI);
            UngetByte(next);
            return;
        }
    }
    Fail(JPEG_E_NO_SOI);
}

u32 TJPEG_Decoder::NextMarker()
{
    for (;;)
    {
        u32 b = GetByte();
        if (b != 0xFF)
            continue;
        do
            b = GetByte();
        while (b == 0xFF);
        if (b != 0)
            return b;
    }
}

u32 TJPEG_Decoder::ReadMarkers()
{
    for (;;)
    {
        u32 m = NextMarker();
        if ((m >= M_SOF0 && m <= M_SOF3) || (m >= M_SOF5 && m <= M_SOF7) || (m >= M_SOF9 && m <= M_SOF11) ||
            (m >= M_SOF13 && m <= M_SOF15) || m == M_SOI || m == M_EOI || m == M_SOS)
            return m;
        if (m == M_DHT)
            ReadDHT();
        else if (m == M_DQT)
            ReadDQT();
        else if (m == M_DRI)
            ReadDRI();
        else if (m == M_DAC)
            Fail(JPEG_E_ARITHMETIC);
        else if (m == M_TEM || m == M_JPG || (m >= M_RST0 && m <= M_RST7))
            Fail(JPEG_E_MARKER);
        else
            SkipSegment();
    }
}

void TJPEG_Decoder::SkipSegment()
{
    u32 length = Read16();
    if (length < 2)
        Fail(JPEG_E_SEGMENT_LENGTH);
    u32 left = length - 2;
    while (left > 0)
    {
        u32 inBuffer = static_cast<u32>(readEnd - readPos);
        if (inBuffer > 0)
        {
            u32 n = inBuffer < left ? inBuffer : left;
            readPos += n;
            left -= n;
        }
        else
        {
            GetByte();
            --left;
        }
    }
}

void TJPEG_Decoder::ReadFrameHeader()
{
    ReadSOI();
    u32 m = ReadMarkers();
    if (m == M_SOF0 || m == M_SOF1)
        ReadSOF();
    else if (m == M_SOF2)
    {
        progressive = true;
        ReadSOF();
    }
    else if (m == M_SOF9)
        Fail(JPEG_E_ARITHMETIC);
    else
        Fail(JPEG_E_FRAME_KIND);
}

void TJPEG_Decoder::ReadSOF()
{
    u32 length = Read16();
    if (Read8() != 8)
        Fail(JPEG_E_SOF_PRECISION);
    height = static_cast<i32>(Read16());
    if (height < 1 || height > 8192)
        Fail(JPEG_E_SOF_HEIGHT);
    width = static_cast<i32>(Read16());
    if (width < 1 || width > 8192)
        Fail(JPEG_E_SOF_WIDTH);
    u32 n = Read8();
    if (n > 4)
        Fail(JPEG_E_SOF_COMPONENTS);
    if (length != 8 + 3 * n)
        Fail(JPEG_E_SOF_LENGTH);
    compCount = static_cast<i32>(n);
    for (u32 i = 0; i < n; ++i)
    {
        Component& c = comps[i];
        c.id = GetByte();
        u8 hv = GetByte();
        c.h = hv >> 4;
        c.v = hv & 15;
        c.quantTable = GetByte();
    }
}

void TJPEG_Decoder::ReadDHT()
{
    u32 length = Read16();
    if (length < 2)
        Fail(JPEG_E_DHT_LENGTH);
    u32 left = length - 2;
    while (left > 0)
    {
        u8 classNumber = GetByte();
        u8 counts[17];
        counts[0] = 0;
        u32 total = 0;
        for (i32 l = 1; l <= 16; ++l)
        {
            counts[l] = GetByte();
            total += counts[l];
        }
        if (total > 255)
            Fail(JPEG_E_DHT_TOO_MANY_CODES);
        if (left < 17 + total)
            Fail(JPEG_E_DHT_LENGTH);
        u32 slot = (classNumber & 15u) + ((classNumber & 0x10) ? 4u : 0u);
        if (slot >= 8)
            Fail(JPEG_E_DHT_BAD_SLOT);
        Huffman& h = huff[slot];
        std::memcpy(h.counts, counts, sizeof counts);
        std::memset(h.symbols, 0, sizeof h.symbols);
        for (u32 i = 0; i < total; ++i)
            h.symbols[i] = GetByte();
        h.defined = true;
        left -= 17 + total;
    }
}

void TJPEG_Decoder::ReadDQT()
{
    u32 length = Read16();
    if (length < 2)
        Fail(JPEG_E_DQT_LENGTH);
    u32 left = length - 2;
    while (left > 0)
    {
        u8 pt = GetByte();
        u32 t = pt & 15u;
        if (t >= 4)
            Fail(JPEG_E_DQT_BAD_TABLE);
        bool wide = (pt >> 4) != 0;
        u32 need = wide ? 129 : 65;
        if (left < need)
            Fail(JPEG_E_DQT_SHORT);
        for (i32 k = 0; k < 64; ++k)
            quant[t][k] = static_cast<u16>(wide ? Read16() : GetByte());
        quantDefined[t] = true;
        left -= need;
    }
}

void TJPEG_Decoder::ReadDRI()
{
    if (Read16() != 4)
        Fail(JPEG_E_DRI_LENGTH);
    restartInterval = Read16();
}

void TJPEG_Decoder::ReadScanHeader()
{
    u32 m = ReadMarkers();
    if (m != M_SOS)
        Fail(JPEG_E_MARKER);
    ReadSOS();
}

void TJPEG_Decoder::ReadSOS()
{
    u32 length = Read16();
    u32 n = Read8();
    if (length != 6 + 2 * n || n < 1 || n > 4)
        Fail(JPEG_E_SOS_LENGTH);
    scanCount = static_cast<i32>(n);
    for (u32 i = 0; i < n; ++i)
    {
        u8 id = GetByte();
        i32 found = -1;
        for (i32 c = 0; c < compCount; ++c)
            if (comps[c].id == id)
            {
                found = c;
                break;
            }
        if (found < 0)
            Fail(JPEG_E_SOS_COMPONENT);
        u8 selectors = GetByte();
        comps[found].dcSlot = selectors >> 4;
        comps[found].acSlot = static_cast<u8>((selectors & 15) + 4);
        scanComp[i] = static_cast<u8>(found);
    }
    // Spectral selection and successive approximation mean nothing to a
    // sequential frame: the scan always covers coefficients 0 to 63.
    GetByte();
    GetByte();
    GetByte();
}

// ---------------------------------------------------------------------------
// Frame and scan setup

void TJPEG_Decoder::InitFrame()
{
    if (compCount == 1)
    {
        if (comps[0].h == 0 || comps[0].v == 0)
            Fail(JPEG_E_ZERO_FACTOR);
        kind = Kind::Grey;
        blocksPerMcu = 1;
        mcuWidth = mcuHeight = 8;
        bytesPerPixel = 1;
    }
    else if (compCount == 3)
    {
        for (i32 c = 1; c < 3; ++c)
            if (comps[c].h != 1 || comps[c].v != 1)
                Fail(JPEG_E_SAMPLING);
        u32 hv = (static_cast<u32>(comps[0].h) << 4) | comps[0].v;
        switch (hv)
        {
        case 0x11:
            kind = Kind::H1V1, blocksPerMcu = 3, mcuWidth = 8, mcuHeight = 8;
            break;
        case 0x21:
            kind = Kind::H2V1, blocksPerMcu = 4, mcuWidth = 16, mcuHeight = 8;
            break;
        case 0x12:
            kind = Kind::H1V2, blocksPerMcu = 4, mcuWidth = 8, mcuHeight = 16;
            break;
        case 0x22:
            kind = Kind::H2V2, blocksPerMcu = 6, mcuWidth = 16, mcuHeight = 16;
            break;
        default:
            Fail(JPEG_E_SAMPLING);
        }
        bytesPerPixel = 4;
    }
    else
        Fail(JPEG_E_COMPONENT_COUNT);

    mcusAcross = (width + mcuWidth - 1) / mcuWidth;
    i32 rowBlocks = mcusAcross * blocksPerMcu;
    if (rowBlocks > kMaxRowBlocks)
        Fail(JPEG_E_ROW_TOO_WIDE);

    // Converters write whole MCUs, so a line holds the width rounded up to 16;
    // the 8 spare bytes let the vector code store a little past the end.
    u32 lineBytes = static_cast<u32>((width + 15) & ~15) * static_cast<u32>(bytesPerPixel) + 8;
    line0 = Alloc(lineBytes);
    line1 = Alloc(lineBytes);
    coefRow = reinterpret_cast<i16*>(Alloc(static_cast<u32>(rowBlocks) * 64 * sizeof(i16)));
    sampleRow = Alloc(static_cast<u32>(rowBlocks) * 64);
    lastPos = Alloc(static_cast<u32>(rowBlocks));
    std::memset(lastPos, 64, static_cast<size_t>(rowBlocks));
    lineLength = static_cast<u32>(width * bytesPerPixel);
    linesLeft = height;
    rowLinesLeft = 0;
    BuildColourTables(&colour);
}

void TJPEG_Decoder::InitScan()
{
    ReadScanHeader();
    CalcMcuBlockOrder();
    CheckHuffTables();
    CheckQuantTables();
    for (Component& c : comps)
        c.predictor = 0;
    if (restartInterval != 0)
    {
        mcusLeft = restartInterval;
        nextRestart = 0;
    }
    ResetBitBuffer();
}

void TJPEG_Decoder::CalcMcuBlockOrder()
{
    // Lines are built from one MCU row whose shape InitFrame fixed, so only
    // the block order of the MCU is taken from the scan. A single-component
    // scan has one block per MCU; an interleaved one H x V blocks of each
    // component in scan order.
    i32 n = 0;
    if (scanCount == 1)
        blockComp[n++] = scanComp[0];
    else
        for (i32 i = 0; i < scanCount; ++i)
        {
            const Component& c = comps[scanComp[i]];
            i32 count = c.h * c.v;
            if (n + count > kMaxMcuBlocks)
                Fail(JPEG_E_MCU_TOO_LARGE);
            for (i32 b = 0; b < count; ++b)
                blockComp[n++] = scanComp[i];
        }
    // The converters read every block position of the MCU, so the first scan
    // must carry each frame component once.
    bool seen[4] = {false, false, false, false};
    for (i32 i = 0; i < scanCount; ++i)
    {
        if (seen[scanComp[i]])
            Fail(JPEG_E_SCAN_COVERAGE);
        seen[scanComp[i]] = true;
    }
    if (scanCount != compCount || n != blocksPerMcu)
        Fail(JPEG_E_SCAN_COVERAGE);
}

void TJPEG_Decoder::CheckHuffTables()
{
    for (i32 i = 0; i < scanCount; ++i)
    {
        const Component& c = comps[scanComp[i]];
        if (c.dcSlot >= 8 || !huff[c.dcSlot].defined)
            Fail(JPEG_E_NO_HUFF_TABLE);
        if (c.acSlot >= 8 || !huff[c.acSlot].defined)
            Fail(JPEG_E_NO_HUFF_TABLE);
    }
    for (i32 slot = 0; slot < 8; ++slot)
        if (huff[slot].defined)
            MakeHuffTable(slot);
    for (i32 i = 0; i < scanCount; ++i)
    {
        MakeDcFastTable(comps[scanComp[i]].dcSlot);
        MakeAcFastTable(comps[scanComp[i]].acSlot);
    }
}

void TJPEG_Decoder::MakeDcFastTable(i32 slot)
{
    Huffman& h = huff[slot];
    for (u32 i = 0; i < (1u << kLookBits); ++i)
    {
        u32 entry = h.look[i];
        u32 len = entry >> 8, size = entry & 255;
        i32 fast = 0;
        // Categories above 15 are left to the slow path, which refuses them.
        if (len != 0 && size <= 15 && len + size <= static_cast<u32>(kLookBits))
        {
            i32 v = size == 0 ? 0 : static_cast<i32>((i >> (kLookBits - len - size)) & ((1u << size) - 1));
            if (v < tables->extendThreshold[size])
                v += tables->extendOffset[size];
            fast = static_cast<i32>((static_cast<u32>(v) << 16) | (len + size));
        }
        h.dcFast[i] = fast;
    }
}

void TJPEG_Decoder::MakeAcFastTable(i32 slot)
{
    Huffman& h = huff[slot];
    for (u32 i = 0; i < (1u << kLookBits); ++i)
    {
        u32 entry = h.look[i];
        u32 len = entry >> 8;
        u32 r = (entry >> 4) & 15, size = entry & 15;
        i32 fast = 0;
        if (len == 0)
            fast = 0;
        else if (size == 0)
            fast = static_cast<i32>(((r == 15 ? 17u : 16u) << 8) | len);
        else if (len + size <= static_cast<u32>(kLookBits))
        {
            i32 v = static_cast<i32>((i >> (kLookBits - len - size)) & ((1u << size) - 1));
            if (v < tables->extendThreshold[size])
                v += tables->extendOffset[size];
            fast = static_cast<i32>((static_cast<u32>(v) << 16) | (r << 8) | (len + size));
        }
        h.acFast[i] = fast;
    }
}

void TJPEG_Decoder::CheckQuantTables()
{
    for (i32 i = 0; i < scanCount; ++i)
    {
        u8 t = comps[scanComp[i]].quantTable;
        if (t >= 4 || !quantDefined[t])
            Fail(JPEG_E_NO_QUANT_TABLE);
    }
}

void TJPEG_Decoder::MakeHuffTable(i32 slot)
{
    Huffman& h = huff[slot];
    std::memset(h.look, 0, sizeof h.look);
    // Codes per T.81 Annex C. Counts that overfill a length give codes that no
    // longer fit in it; those can never be read and are left out, which keeps
    // the remaining codes free of prefixes.
    u32 code = 0;
    i32 p = 0;
    for (i32 l = 1; l <= 16; ++l)
    {
        h.valPtr[l] = p;
        h.minCode[l] = static_cast<i32>(code);
        i32 lastFit = -1;
        for (i32 i = 0; i < h.counts[l]; ++i, ++p, ++code)
        {
            if (code >= (1u << l))
                continue;
            lastFit = static_cast<i32>(code);
            if (l <= kLookBits)
            {
                u32 shift = static_cast<u32>(kLookBits - l);
                u16 entry = static_cast<u16>((l << 8) | h.symbols[p]);
                for (u32 j = 0; j < (1u << shift); ++j)
                    h.look[(code << shift) | j] = entry;
            }
        }
        h.maxCode[l] = lastFit;
        code <<= 1;
    }
}

void TJPEG_Decoder::ResetBitBuffer()
{
    // The header reader reads byte by byte and holds nothing ahead, so the
    // entropy-coded data starts at the current read position.
    bitBuffer = 0;
    bitCount = 0;
    entropyFetched = 0;
    entropyStandIns = 0;
}

void TJPEG_Decoder::ReturnReadAhead()
{
    // The restart search starts where a reader of 32 bits, reset to 4 bytes
    // and refilled 2 bytes at a time whenever its count of spare bits reaches
    // 0, would stand: after c bits used it has taken 4 + 2 * floor(c / 16)
    // bytes. Ours takes up to 8 bytes at once, so on damaged data, where an
    // interval ends short of its marker, the bytes it took beyond that are
    // given back: a stuffed FF 00 in them must still stop the search. Bytes
    // taken are whole bytes or FF 00 pairs, and a FF in the input is never
    // followed by anything else there, so stepping back is unambiguous; the
    // stand-ins all came after them.
    u64 used = entropyFetched * 8 - static_cast<u64>(bitCount);
    u64 held = 4 + 2 * (used / 16);
    u64 taken = entropyFetched - entropyStandIns;
    u8* p = readPos;
    for (; taken > held; --taken)
        p -= (p[-1] == 0 && p[-2] == 0xFF) ? 2 : 1;
    readPos = p;
}

void TJPEG_Decoder::FindEnd()
{
    bitBuffer = 0;
    bitCount = 0;
    ReadMarkers();
}

// ---------------------------------------------------------------------------
// Entropy-coded data

u32 TJPEG_Decoder::GetEntropyByte()
{
    ++entropyFetched;
    u8 b = GetByte();
    if (pastEnd)
    {
        ++entropyStandIns;
        return b;
    }
    if (b != 0xFF)
        return b;
    u8 next = GetByte();
    if (next == 0 && !pastEnd)
        return 0xFF;
    // A marker: both bytes stay in the input, and the data reads as one-bits
    // from here on.
    UngetByte(next);
    UngetByte(0xFF);
    ++entropyStandIns;
    return 0xFF;
}

namespace
{
// Whole bytes into the bit buffer, up to 63 bits, with one load when none of
// the next eight input bytes is an FF (a stuffed zero or a marker, which only
// the byte path handles). Returns how many bytes it took; 0 sends the caller
// to the byte path. Callers hold fewer than 32 bits, so at least 4 are taken.
inline u32 TakePlainBytes(const u8* pos, const u8* end, u64& buf, i32& count)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end - pos >= 8)
    {
        u64 w;
        std::memcpy(&w, pos, 8);
        u64 x = ~w;
        if (((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) == 0)
        {
            u32 n = static_cast<u32>(63 - count) >> 3;
            buf = (buf << (n * 8)) | (__builtin_bswap64(w) >> (64 - n * 8));
            count += static_cast<i32>(n * 8);
            return n;
        }
    }
#else
    (void)pos, (void)end, (void)buf, (void)count;
#endif
    return 0;
}
} // namespace

void TJPEG_Decoder::FillBits()
{
    if (bitCount >= 32)
        return;
    if (u32 n = TakePlainBytes(readPos, readEnd, bitBuffer, bitCount))
    {
        readPos += n;
        entropyFetched += n;
        return;
    }
    while (bitCount <= 56)
    {
        u32 b;
        if (readPos < readEnd && *readPos != 0xFF)
        {
            b = *readPos++;
            ++entropyFetched;
        }
        else
            b = GetEntropyByte();
        bitBuffer = (bitBuffer << 8) | b;
        bitCount += 8;
    }
}

u32 TJPEG_Decoder::HuffDecodeSlow(const Huffman& h)
{
    // DECODE of T.81 F.2.2.3 for codes longer than the look-up. The caller
    // made sure that 16 bits are there.
    u32 bits16 = static_cast<u32>(bitBuffer >> (bitCount - 16)) & 0xFFFF;
    for (i32 l = kLookBits + 1; l <= 16; ++l)
    {
        i32 code = static_cast<i32>(bits16 >> (16 - l));
        if (code <= h.maxCode[l] && code >= h.minCode[l])
        {
            bitCount -= l;
            return h.symbols[h.valPtr[l] + code - h.minCode[l]];
        }
    }
    // No code of the table: symbol 0, the 16 bits examined taken as read.
    bitCount -= 16;
    return 0;
}

void TJPEG_Decoder::ProcessRestart()
{
    ReturnReadAhead();
    ResetBitBuffer();
    u32 budget = 1536;
    u32 b;
    do
    {
        if (budget-- == 0)
            Fail(JPEG_E_RESTART);
        b = GetByte();
    } while (b != 0xFF);
    do
    {
        if (budget-- == 0)
            Fail(JPEG_E_RESTART);
        b = GetByte();
    } while (b == 0xFF);
    if (b != M_RST0 + nextRestart)
        Fail(JPEG_E_RESTART);
    for (Component& c : comps)
        c.predictor = 0;
    mcusLeft = restartInterval;
    nextRestart = (nextRestart + 1) & 7;
}

namespace
{
// Everything the block decoder reads per block, gathered so that the inner
// loop keeps it in registers.
struct BlockTables
{
    const TJPEG_Decoder::Huffman* dc;
    const TJPEG_Decoder::Huffman* ac;
    const u16* q;
    u32* predictor;
};
} // namespace

void TJPEG_Decoder::DecodeMcuRow()
{
    BlockTables bt[kMaxMcuBlocks];
    for (i32 b = 0; b < blocksPerMcu; ++b)
    {
        Component& c = comps[blockComp[b]];
        bt[b] = {&huff[c.dcSlot], &huff[c.acSlot], quant[c.quantTable], &c.predictor};
    }
    const u8* zz = kZigZag;
    const i32* threshold = kExtendThreshold;
    const i32* offset = kExtendOffset;

    // The bit reader and the read position live in locals while the row is
    // decoded; sync and load hand them to and from the members around every
    // slow path (byte-wise refill, long codes, restarts, failures).
    u64 buf = bitBuffer;
    i32 count = bitCount;
    const u8* pos = readPos;
    u64 fetched = entropyFetched;
    auto sync = [&]
    {
        bitBuffer = buf;
        bitCount = count;
        readPos = const_cast<u8*>(pos);
        entropyFetched = fetched;
    };
    auto load = [&]
    {
        buf = bitBuffer;
        count = bitCount;
        pos = readPos;
        fetched = entropyFetched;
    };
    auto fill = [&]
    {
        // The common case of FillBits kept inline.
        if (u32 n = TakePlainBytes(pos, readEnd, buf, count))
        {
            pos += n;
            fetched += n;
            return;
        }
        sync();
        FillBits();
        load();
    };
    auto decode = [&](const Huffman& h) -> u32
    {
        u32 e = h.look[(buf >> (count - kLookBits)) & ((1u << kLookBits) - 1)];
        if (e >> 8)
        {
            count -= static_cast<i32>(e >> 8);
            return e & 255;
        }
        sync();
        u32 s = HuffDecodeSlow(h);
        load();
        return s;
    };
    auto receiveExtend = [&](u32 s) -> i32
    {
        count -= static_cast<i32>(s);
        i32 v = static_cast<i32>((buf >> count) & ((1u << s) - 1));
        return v < threshold[s] ? v + offset[s] : v;
    };

    i16* coef = coefRow;
    u8* last = lastPos;
    for (i32 m = 0; m < mcusAcross; ++m)
    {
        if (restartInterval != 0)
        {
            if (mcusLeft == 0)
            {
                sync();
                ProcessRestart();
                load();
            }
        }
        for (i32 b = 0; b < blocksPerMcu; ++b, coef += 64, ++last)
        {
            const BlockTables& t = bt[b];
            // Only the positions the previous block here wrote can be non-zero.
            u32 prev = *last;
            if (prev > 16)
                std::memset(coef, 0, 64 * sizeof(i16));
            else
                for (u32 k = 1; k < prev; ++k)
                    coef[zz[k]] = 0;

            if (count < 32)
                fill();
            i32 diff = 0;
            i32 de = t.dc->dcFast[(buf >> (count - kLookBits)) & ((1u << kLookBits) - 1)];
            u32 s;
            if (de & 255)
            {
                count -= de & 255;
                diff = de >> 16;
            }
            else if ((s = decode(*t.dc)) != 0)
            {
                if (s > 15)
                {
                    sync();
                    Fail(JPEG_E_DC_CATEGORY);
                }
                diff = receiveExtend(s);
            }
            *t.predictor += static_cast<u32>(diff);
            coef[0] = static_cast<i16>(static_cast<u32>(static_cast<i16>(t.q[0])) * *t.predictor);

            u32 k = 1;
            u32 end = 1;
            const i32* acFast = t.ac->acFast;
            while (k < 64)
            {
                if (count < 32)
                    fill();
                i32 e = acFast[(buf >> (count - kLookBits)) & ((1u << kLookBits) - 1)];
                if (e & 255)
                {
                    count -= e & 255;
                    u32 r = (static_cast<u32>(e) >> 8) & 255;
                    if (r < 16)
                    {
                        k += r;
                        if (k > 63)
                        {
                            sync();
                            Fail(JPEG_E_AC_RUN);
                        }
                        coef[zz[k]] = static_cast<i16>(static_cast<i16>(t.q[k]) * (e >> 16));
                        end = ++k;
                        continue;
                    }
                    if (r == 16)
                        break;
                    if (k + 15 > 63)
                    {
                        sync();
                        Fail(JPEG_E_AC_RUN);
                    }
                    k += 16;
                    continue;
                }
                u32 rs = decode(*t.ac);
                u32 r = rs >> 4;
                s = rs & 15;
                if (s != 0)
                {
                    k += r;
                    if (k > 63)
                    {
                        sync();
                        Fail(JPEG_E_AC_RUN);
                    }
                    i32 v = receiveExtend(s);
                    coef[zz[k]] = static_cast<i16>(static_cast<i16>(t.q[k]) * v);
                    end = ++k;
                }
                else if (r == 15)
                {
                    if (k + 15 > 63)
                    {
                        sync();
                        Fail(JPEG_E_AC_RUN);
                    }
                    k += 16;
                }
                else
                    break;
            }
            *last = static_cast<u8>(end);
        }
        if (restartInterval != 0)
            --mcusLeft;
    }
    sync();
}

// ---------------------------------------------------------------------------
// Transform and lines

void TJPEG_Decoder::TransformRow()
{
    i32 rowBlocks = mcusAcross * blocksPerMcu;
    const bool pairs = jpegkernels::HaveAvx2();
    i32 pending = -1; // a block waiting for a partner of the two-block kernel
    for (i32 b = 0; b < rowBlocks; ++b)
    {
        const i16* coef = coefRow + b * 64;
        u8* samples = sampleRow + b * 64;
        if (lastPos[b] <= 1)
        {
            // Only the DC coefficient: every sample is the same, and equal to
            // what the full transform gives (see InverseDCT).
            i32 dc = static_cast<i16>(static_cast<u16>(coef[0] * 4));
            std::memset(samples, Clamp(((dc + 16) >> 5) + 128), 64);
        }
        else if (!pairs)
            InverseDCT(coef, samples, 8);
        else if (pending < 0)
            pending = b;
        else
        {
            jpegkernels::InverseDCTPairAvx2(coefRow + pending * 64, coef, sampleRow + pending * 64, samples);
            pending = -1;
        }
    }
    if (pending >= 0)
        InverseDCT(coefRow + pending * 64, sampleRow + pending * 64, 8);
}

void TJPEG_Decoder::BuildColourTables(ColourTables* t)
{
    // BT.601 full-range constants scaled by 2^16 and taken for d = 2(i - 128),
    // i.e. halved: 1.402 / 2, 1.772 / 2, 0.71414 / 2 and 0.34414 / 2. The
    // green terms keep their 16 fractional bits and carry the rounding half
    // in CbG, so that their sum is shifted once.
    for (i32 i = 0; i < 256; ++i)
    {
        i32 d = 2 * i - 256;
        t->crR[i] = (d * 45941 + 32768) >> 16;
        t->cbB[i] = (d * 58065 + 32768) >> 16;
        t->crG[i] = d * -23401;
        t->cbG[i] = d * -11277 + 32768;
    }
}

i32 TJPEG_Decoder::Begin(TJPEG_Stream* s)
{
    FreeBlocks();
    try
    {
        Init(s);
        ReadFrameHeader();
        if (progressive)
        {
            FreeBlocks();
            return -1;
        }
        InitFrame();
        InitScan();
        ready = true;
        return 0;
    }
    catch (const JpegAbort&)
    {
        return -1;
    }
}

i32 TJPEG_Decoder::DecodeLine(u8** line, u32* length)
{
    if (errorCode != 0 || !ready)
    {
        stream = nullptr;
        return -1;
    }
    if (linesLeft == 0)
    {
        stream = nullptr;
        return 1;
    }
    try
    {
        if (rowLinesLeft == 0)
        {
            DecodeMcuRow();
            if (linesLeft <= mcuHeight)
                FindEnd();
            TransformRow();
            rowLinesLeft = mcuHeight;
        }
    }
    catch (const JpegAbort&)
    {
        return -1;
    }
    u32 r = static_cast<u32>(mcuHeight - rowLinesLeft);
    u8* out = line0;
    switch (kind)
    {
    case Kind::Grey:
        ConvertGrey(line0, r);
        break;
    case Kind::H1V1:
        ConvertH1V1(line0, r);
        break;
    case Kind::H2V1:
        ConvertH2V1(line0, r);
        break;
    case Kind::H1V2:
        if ((r & 1) == 0)
            ConvertH1V2(line0, line1, r);
        else
            out = line1;
        break;
    case Kind::H2V2:
        if ((r & 1) == 0)
            ConvertH2V2(line0, line1, r);
        else
            out = line1;
        break;
    }
    *line = out;
    *length = lineLength;
    --linesLeft;
    --rowLinesLeft;
    return 0;
}
