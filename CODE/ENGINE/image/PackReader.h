#pragma once
// Reading the data files of a bitmap pack into records and blocks, shared by
// the start-up load and the range loads of the image store.
#include "image/OBitmapStore.h"

#include <string>

namespace pack
{

// "<dir>/<name>", or the name alone for the current folder; as long as the
// folder's name is.
std::string JoinPath(const char* dir, const char* name);
// The path of data file i ("bmdt%d.bin").
std::string DataFilePath(const char* dir, i32 file);

// Reads data files 0 to files - 1 of `dir` into records and blocks, at most
// `capacity` records; each block carries one reference. The number of records
// read, or -1 with *failure set, every block read so far deleted again.
// `openFailureNamesDir`: a data file that cannot be opened is reported with
// the folder's name rather than the file's.
i32 ReadDataFiles(const char* dir, u16 files, PackRecord* records, OBuffer** blocks, i32 capacity,
                  bool openFailureNamesDir, PackFailure* failure);

// Every record that takes its alpha plane from another record must name one
// of the `count` records read whose block covers the plane of its picture.
bool CheckPlaneRecords(const char* dir, const PackRecord* records, i32 count, PackFailure* failure);

// Whether a record's image takes its alpha plane from record `value`.
inline bool TakesPlane(u16 type)
{
    return type == 2 || type == 12 || type == 20;
}

// The image a record makes, over its own block and the plane it names; null
// for the types that make none (and when memory runs out).
OBitmap* MakeRecordImage(const PackRecord& record, OBuffer* own, OBuffer* plane);
// Whether a record of this type (JPEG types already turned into 0 and 2)
// makes an image.
inline bool MakesImage(u16 type)
{
    return type <= 2 || type == 12 || type == 14 || type == 16 || type == 18 || type == 20;
}
// Whether a record of this type takes an image index of the pack part.
inline bool CountsAsImage(u16 type)
{
    return type <= 14 || (type >= 16 && type <= 21);
}

} // namespace pack
