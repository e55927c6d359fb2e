// Any bytes as a TGA picture file.
#include "DataFileHarness.h"
#include "image/DataPictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzdata::Run(data, size,
                  [](i32* slot, OBitmapStore* store, const char* folder)
                  { return LoadTgaImage(0, slot, store, folder); });
    return 0;
}
