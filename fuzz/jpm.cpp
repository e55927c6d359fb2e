// Any bytes as a JPM picture file, its JPEG part scrambled from 0xB3.
#include "DataFileHarness.h"
#include "image/DataPictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzdata::Run(data, size,
                  [](i32* slot, OBitmapStore* store, const char* folder)
                  { return LoadJpmImage(0, slot, store, folder, 0xB3); });
    return 0;
}
