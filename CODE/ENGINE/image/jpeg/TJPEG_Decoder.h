#pragma once
#include "core/Types.h"
#include "image/jpeg/TJPEG_Stream.h"

// Decoder of sequential, Huffman-coded JPEG pictures with 8-bit samples, one or
// three components, delivered one scan line at a time. Lines of a colour frame
// hold width pixels of R, G, B, 0; lines of a grey frame one byte per pixel.
//
// Failures are recorded as negative codes (see the JPEG_E_* names); once one is
// recorded Begin and every later DecodeLine return -1 until the next Begin.
// A progressive frame makes Begin return -1 with the code left at 0.
class TJPEG_Decoder
{
public:
    // Error codes. The first group describes malformed headers, the second
    // unsupported or inconsistent frames and scans, the last resources.
    enum : i32
    {
        JPEG_E_DHT_TOO_MANY_CODES = -200,
        JPEG_E_DHT_BAD_SLOT = -201,
        JPEG_E_DHT_LENGTH = -202,
        JPEG_E_DQT_LENGTH = -203,
        JPEG_E_DQT_BAD_TABLE = -204,
        JPEG_E_SOF_PRECISION = -205,
        JPEG_E_SOF_HEIGHT = -206,
        JPEG_E_SOF_WIDTH = -207,
        JPEG_E_SOF_COMPONENTS = -208,
        JPEG_E_SOF_LENGTH = -209,
        JPEG_E_SEGMENT_LENGTH = -210,
        JPEG_E_DRI_LENGTH = -211,
        JPEG_E_SOS_LENGTH = -212,
        JPEG_E_SOS_COMPONENT = -213,
        // The first scan must hold every frame component exactly once: the line
        // converters read every block position of the MCU.
        JPEG_E_SCAN_COVERAGE = -214,
        JPEG_E_ARITHMETIC = -215,
        JPEG_E_MARKER = -216,
        JPEG_E_NO_SOI = -217,
        JPEG_E_FRAME_KIND = -218,
        JPEG_E_DQT_SHORT = -219,
        // A DC symbol above 15 is no difference category: EXTEND has no entry
        // for it and more than 16 bits would be read at once.
        JPEG_E_DC_CATEGORY = -220,
        JPEG_E_BLOCK_LIST_FULL = -221,
        JPEG_E_NO_QUANT_TABLE = -222,
        JPEG_E_NO_HUFF_TABLE = -223,
        // A sampling factor of 0 would make the block counts divide by zero.
        JPEG_E_ZERO_FACTOR = -224,
        JPEG_E_COMPONENT_COUNT = -225,
        JPEG_E_SAMPLING = -226,
        JPEG_E_AC_RUN = -227,
        JPEG_E_RESTART = -228,
        JPEG_E_ROW_TOO_WIDE = -229,
        // An MCU holds at most 10 blocks; the block order table has no room
        // for more.
        JPEG_E_MCU_TOO_LARGE = -230,
        JPEG_E_READ = -232,
        JPEG_E_NO_MEMORY = -233,
    };

    static TJPEG_Decoder* Create();

    i32 Begin(TJPEG_Stream* stream);
    i32 DecodeLine(u8** line, u32* length);
    i32 GetWidth() const { return width; }
    i32 GetHeight() const { return height; }
    // 0, or the code recorded by the failure that ended the current image.
    i32 GetErrorCode() const { return errorCode; }
    // 1 for grey frames, 4 for colour frames (valid after Begin).
    i32 GetBytesPerPixel() const { return bytesPerPixel; }

    // Whether a stream of `bytes` bytes can hold a picture of that size. No
    // complete stream packs more than 256 pixels into a byte (an 8 x 8 grey
    // block takes at least two bits); a larger picture would be mostly made
    // up past the end of a cut stream, and its header alone could ask for a
    // block far larger than the file.
    static bool StreamCanHold(u64 bytes, u32 width, u32 height) { return u64(width) * height <= 256 * bytes; }

    void Destroy();
    void Delete();

    // Memory of the current image: n zero bytes, 32-byte aligned, freed with
    // the image. Null when the block list is full or memory ran out; the code
    // is then recorded and the image has failed.
    u8* AllocBlock(u32 n);

    // The integer inverse transform of one block of 64 coefficients in
    // natural order into 8 x 8 samples, rows of `stride` bytes.
    // The vector version where the machine has one; the portable one is the
    // plain scalar code, and both give the same bytes.
    static void InverseDCT(const i16* coefficients, u8* samples, u32 stride);
    static void InverseDCTPortable(const i16* coefficients, u8* samples, u32 stride);

    // The tables of the YCbCr to RGB conversion, indexed by the chroma sample.
    struct ColourTables
    {
        i32 crR[256];
        i32 cbB[256];
        i32 crG[256];
        i32 cbG[256];
    };
    static void BuildColourTables(ColourTables* tables);

    static constexpr i32 kMaxBlocks = 100;
    static constexpr i32 kMaxRowBlocks = 6144;
    static constexpr i32 kMaxMcuBlocks = 10;

    // Bits resolved by one look-up of the Huffman decoder; longer codes take
    // the T.81 DECODE walk over the code lengths above this.
    static constexpr i32 kLookBits = 10;

    // One Huffman table slot: what the DHT segment held and the decoding
    // structure built from it before a scan.
    struct Huffman
    {
        bool defined;
        u8 counts[17]; // counts[l]: codes of length l, 1 to 16
        u8 symbols[256];
        // (length << 8) | symbol for every code of at most kLookBits bits,
        // indexed by the next kLookBits bits; length 0 sends the decoder to
        // the walk over longer codes.
        u16 look[1 << kLookBits];
        // For a slot that serves as an AC table: a whole coefficient when its
        // code and its extra bits fit in kLookBits together. Bits 0-7: bits
        // consumed (0: not resolved here); bits 8-15: the zero run, or 16 for
        // an end of block, 17 for a run of 16 zeros; bits 16-31: the value.
        i32 acFast[1 << kLookBits];
        // For a slot that serves as a DC table: bits 0-7 as above, bits
        // 16-31 the difference.
        i32 dcFast[1 << kLookBits];
        i32 minCode[17];
        i32 maxCode[17]; // -1 where no code of that length fits
        i32 valPtr[17];
    };

    // The constant tables, owned apart from the memory of an image.
    struct Tables
    {
        // Natural-order index of each zig-zag position; positions 64 to 79
        // repeat the last entry so that a write one run past the block cannot
        // leave it.
        u8 zigZag[80];
        i32 extendThreshold[16]; // 2^(s-1), 0 for s = 0
        i32 extendOffset[16];    // (-1 << s) + 1
    };

private:
    TJPEG_Decoder() = default;
    ~TJPEG_Decoder() = default;
    TJPEG_Decoder(const TJPEG_Decoder&) = delete;
    TJPEG_Decoder& operator=(const TJPEG_Decoder&) = delete;

    enum class Kind : u8
    {
        Grey,
        H1V1,
        H2V1,
        H1V2,
        H2V2
    };

    struct Component
    {
        u8 id;
        u8 h;
        u8 v;
        u8 quantTable;
        u8 dcSlot;
        u8 acSlot;
        u32 predictor; // i32 kept unsigned so that hostile data wraps instead of overflowing
    };

    [[noreturn]] void Fail(i32 code);
    u8* Alloc(u32 n);
    void FreeBlocks();
    void InitTables();
    void Init(TJPEG_Stream* s);

    // Input.
    void FillInput();
    u8 GetByte();
    void UngetByte(u8 b);
    u32 Read8() { return GetByte(); }
    u32 Read16();

    // Headers.
    void ReadSOI();
    u32 NextMarker();
    u32 ReadMarkers();
    void SkipSegment();
    void ReadFrameHeader();
    void ReadSOF();
    void ReadDHT();
    void ReadDQT();
    void ReadDRI();
    void ReadScanHeader();
    void ReadSOS();
    void InitFrame();
    void InitScan();
    void CalcMcuBlockOrder();
    void CheckHuffTables();
    void CheckQuantTables();
    void MakeHuffTable(i32 slot);
    void MakeAcFastTable(i32 slot);
    void MakeDcFastTable(i32 slot);
    void ResetBitBuffer();
    void ReturnReadAhead();
    void FindEnd();

    // Entropy-coded data.
    u32 GetEntropyByte();
    void FillBits();
    u32 HuffDecodeSlow(const Huffman& table);
    void ProcessRestart();
    void DecodeMcuRow();
    void TransformRow();

    // Lines.
    void ConvertGrey(u8* out, u32 r);
    void ConvertH1V1(u8* out, u32 r);
    void ConvertH2V1(u8* out, u32 r);
    void ConvertH1V2(u8* out0, u8* out1, u32 r);
    void ConvertH2V2(u8* out0, u8* out1, u32 r);

    Tables* tables = nullptr; // owned, apart from the block list
    TJPEG_Stream* stream = nullptr;
    i32 width = 0;
    i32 height = 0;
    i32 errorCode = 0;
    bool progressive = false;
    bool ready = false;

    Huffman huff[8];  // 0-3 DC, 4-7 AC; a DC selector of 4 to 7 reads the AC places
    u16 quant[4][64]; // zig-zag order, as in the file
    bool quantDefined[4];

    Component comps[4];
    i32 compCount = 0;
    i32 scanCount = 0;
    u8 scanComp[4];

    Kind kind = Kind::Grey;
    i32 bytesPerPixel = 1;
    i32 blocksPerMcu = 0;
    i32 mcuWidth = 0;
    i32 mcuHeight = 0;
    i32 mcusAcross = 0;
    u8 blockComp[kMaxMcuBlocks];

    u32 restartInterval = 0;
    u32 mcusLeft = 0;
    u32 nextRestart = 0;

    // Input buffer: 128 bytes of room in front for pushed-back bytes.
    static constexpr i32 kInputFront = 128;
    // Bytes of the previous run kept in front of a new one: ReturnReadAhead
    // steps back over at most 6 taken bytes, each at most an FF 00 pair.
    static constexpr i32 kInputKeep = 16;
    static constexpr i32 kInputSize = 4096;
    u8 input[kInputFront + kInputSize];
    u8* readPos = nullptr;
    u8* readEnd = nullptr;
    u32 streamEnded = 0;
    bool pastEnd = false;   // the last byte given came from the endless end markers
    bool endToggle = false; // false: the next endless byte is FF, true: D9

    // Entropy bit reader: valid bits are the low `bitCount` bits of bitBuffer.
    u64 bitBuffer = 0;
    i32 bitCount = 0;
    // Bytes that entered the bit buffer since it was last reset, and how many
    // of them took nothing from the input (stand-ins at a marker or past the
    // end); see ReturnReadAhead.
    u64 entropyFetched = 0;
    u64 entropyStandIns = 0;

    // One MCU row.
    i16* coefRow = nullptr;
    u8* sampleRow = nullptr;
    u8* lastPos = nullptr;
    u8* line0 = nullptr;
    u8* line1 = nullptr;
    u32 lineLength = 0;
    i32 linesLeft = 0;
    i32 rowLinesLeft = 0;

    ColourTables colour;

    void* blocks[kMaxBlocks];
    i32 blockCount = 0;
};
