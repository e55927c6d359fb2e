#pragma once
#include "core/Types.h"

class OBitmapStore;

// Loaders of the large pictures kept in data files "Data%d.dat", one picture
// per file: `number` picks the file and `directory` its folder (null for the
// current one). The picture becomes an image in a run-time slot of the
// store's table. On entry the low 16 bits of *slot are the slot wanted, a
// negative value meaning the first free one; once the image has been asked
// of the table, *slot receives the table's answer (the slot, or -1).
//
// Each returns true when an image was made. Every failure returns false and
// leaves the store as it was; the file is read for the one call and freed
// before it returns. Files that do not hold what their header promises are
// refused before anything is asked of the table.

// A JPM picture: "JPM", then little-endian u32 width, height, offset of the
// JPEG part and offset of the alpha part; the JPEG part is scrambled with the
// rolling XOR from `key`, the alpha part holds width x height bytes. Makes an
// image of format 2. Refused: offsets out of order (20 <= JPEG <= alpha <=
// length), an alpha part shorter than the picture, a size beyond 65535, a
// JPEG part of another size than the header's. A JPEG part the decoder
// cannot read still gives the image, its pixels black where no line came.
bool LoadJpmImage(i32 number, i32* slot, OBitmapStore* store, const char* directory, u8 key);

// An uncompressed TGA picture: true colour of 24 bits (format 0, rows as
// stored from the top) or 32 bits (format 2, rows stored bottom-up, alpha
// 255 - A), or 8-bit grey (format 14, the bytes become the alpha plane, rows
// as stored from the top). The descriptor byte is not read. Refused: any
// other header, bit count, or a file shorter than its pixels.
bool LoadTgaImage(i32 number, i32* slot, OBitmapStore* store, const char* directory);

// A plain JPEG scrambled with the rolling key of TJPEG_Datas; format 0.
// Refused when the file cannot be opened, the decoder refuses its headers, or
// they claim more pixels than a stream of the file's length can hold;
// a stream that stops decoding early still gives the image, black below.
bool LoadJpegPackImage(i32 number, i32* slot, OBitmapStore* store, const char* directory);
