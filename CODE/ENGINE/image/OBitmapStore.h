#pragma once
#include "core/Types.h"
#include "image/OBitmap.h"
#include "image/OImageTable.h"

#include <iosfwd>
#include <string>

// One record of a bitmap pack as read: a load-time copy, discarded when the
// load ends. A record that no data file fills stays empty (type 0, 0 x 0).
struct PackRecord
{
    u16 type = 0; // only the low byte is kept
    u16 width = 0;
    u16 height = 0;
    // The colour key 0xRRGGBB, or the number of the record that holds the
    // alpha plane (types 2, 12, 20 and 23).
    u32 value = 0;
    char name[20] = {};
    // Where the record came from and what its block holds, for the checks
    // that run once every record is in.
    u16 file = 0;
    i32 blockSize = 0;
};

// The text of a failed load. It grows with what it holds, so that a folder
// name of any length reaches the alert whole, and reads as the C string the
// alert shows.
class FailureText
{
public:
    operator const char*() const { return text.c_str(); }
    const char* c_str() const { return text.c_str(); }
    bool empty() const { return text.empty(); }
    friend bool operator==(const FailureText& a, const std::string& b) { return a.text == b; }
    friend bool operator==(const FailureText& a, const char* b) { return a.text == b; }
    friend std::ostream& operator<<(std::ostream& out, const FailureText& t);

private:
    friend struct PackFailure;
    std::string text;
};

// Why a pack load failed: the text the player is shown (empty for none), the
// exit code the process ends with, and whether the cursor is shown first. The
// loading core only reports it; EndProcess is the one place that acts on it.
struct PackFailure
{
    i32 exitCode = 0;
    bool showCursor = false;
    FailureText message;

    bool Failed() const { return exitCode != 0; }
    void Set(i32 code, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
};

// The image store: every image in one array indexed by a 16-bit image index,
// the pack images first and the run-time slots of `table` after them, and the
// shared-buffer list of the blocks the store's images were made from.
class OBitmapStore
{
public:
    OImageTable* table = nullptr;
    // Record capacity; also the size of the pack part of `buffers`.
    i16 recordCount = 0;
    // Image-array entries before the slots: the image index of slot 0.
    i16 packImageCount = 0;
    i16 extraSlots = 0;
    // The folder of the pack last loaded (not a copy), or null.
    const char* directory = nullptr;
    // recordCount + 2 x extraSlots entries, null meaning free. An entry of the
    // pack part holds one reference on its buffer; an entry of the table's
    // part records a slot image's own block and holds none.
    OBuffer** buffers = nullptr;
    // packImageCount + extraSlots entries, null meaning none.
    OBitmap** images = nullptr;

    // The scratch block every JPEG record passes through, and the longest
    // stream a record may hold.
    static constexpr u32 kJpegScratchSize = 1048576;
    // Exit codes of a failed load.
    static constexpr i32 kExitPackUnreadable = 255;
    static constexpr i32 kExitJpegTooBig = 100;

    OBitmapStore() = default;
    OBitmapStore(const OBitmapStore&) = delete;
    OBitmapStore& operator=(const OBitmapStore&) = delete;
    ~OBitmapStore() { Free(); }

    // A new store over the pack of `dir`; a pack that cannot be loaded ends
    // the process (EndProcess).
    static OBitmapStore* Create(const char* dir, u16 slots, u16 reserved);
    void Load(const char* dir, u16 slots, u16 reserved);
    void Reload(const char* dir, u16 slots);

    // The loading core: false with *failure set when the pack cannot be
    // loaded, the store then being empty.
    bool TryLoad(const char* dir, u16 slots, u16 reserved, PackFailure* failure);
    // F and N of "bmst.bin" of `directory`; true when both were read.
    bool ReadPackHeader(u16* files, u16* records);
    // Reads every data file into the records and the pack part of the list;
    // -1 when all were read, 0 with *failure set otherwise.
    i16 ReadPackData(u16 files, PackRecord* records, PackFailure* failure);

    OBitmap* GetImage(i16 index) { return images[index]; }
    i16 GetImageCount() const { return packImageCount; }
    OImageTable* GetTable() { return table; }
    i32 BufferListSize() const { return recordCount + 2 * extraSlots; }

    // Lowest index i, first <= i < last, holding an image of exactly that
    // name; a negative last searches to the end of the slots. -1 when none.
    i32 FindByName(const char* name, i16 first, i16 last);
    // Forwards to the table; 0 when the store has none. The result is a slot.
    i16 AddImage(u16 width, u16 height, u32 colourKey, u8 format, OBuffer* pixels, OBuffer* alpha, i16 slot);

    // Destroys the images first to last (both included); blocks another
    // image still shares keep their list entries.
    void FreeRange(i16 first, i16 last);
    // Fills the indices first to last with the images of the pack in `dir`.
    // False when first lies beyond the pack images; a pack that cannot be
    // loaded ends the process (EndProcess).
    bool LoadRange(const char* dir, i16 first, i16 last);
    // The loading core of LoadRange: false with *failure left clear for a
    // range beyond the pack images (nothing changes), false with *failure
    // set when the pack cannot be loaded.
    bool TryLoadRange(const char* dir, i16 first, i16 last, PackFailure* failure);

    // Destroys the table, the images and every block of the pack part.
    void Free();

    // The reaction to a failed load: the cursor shown when asked, the message
    // in an alert when there is one, then the process ends with the code.
    [[noreturn]] static void EndProcess(const PackFailure& failure);
};
