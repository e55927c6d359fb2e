// The one place where a failed pack load ends the process: the loading core
// only reports what went wrong, so tests and fuzzers can drive it.
#include "image/OBitmapStore.h"

#include "platform/Backend.h"
#include "platform/OMessageBox.h"

#include <cstdlib>

void OBitmapStore::EndProcess(const PackFailure& failure)
{
    if (failure.showCursor)
        platform::GetBackend().ShowCursor(true);
    if (!failure.message.empty())
        Alert(failure.message.c_str());
    std::exit(failure.exitCode);
}
