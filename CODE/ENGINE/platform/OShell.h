#pragma once
// Folders and documents as the desktop offers them.
#include "core/Types.h"

#include <string>

// Room for a path in the callers' buffers.
inline constexpr u32 MAX_PATH_LENGTH = 1024;

// The shared application-data folder: "<data home>/<vendor>/<product>", the
// data home being $XDG_DATA_HOME or ~/.local/share. Creates the folders on
// the way when missing, each 0700 (one that exists keeps its mode). out holds
// MAX_PATH_LENGTH bytes. 1 when the product folder exists or was made; 0 when
// the data home cannot be found, a folder cannot be made, the path does not
// fit, or minMajor exceeds the system's major version. The engine's own
// callers use platform::AppDataFolder, which takes a path of any length.
u32 GetAppDataFolder(char* out, const char* vendor, const char* product, i16 minMajor);
// The running executable's folder, with a trailing '/', joined with fileName;
// out holds MAX_PATH_LENGTH bytes. False when it cannot be found or does not
// fit.
bool GetProgramDir(char* out, const char* fileName);
// The same path in a buffer of the module, valid until the next call; null
// when it cannot be found or does not fit.
const char* GetProgramDir(const char* fileName);
// Asks the desktop to open the document in its usual program (xdg-open,
// started without a shell). True when the opener could be started.
bool OpenWithShell(const char* document);

namespace platform
{
// A folder of the XDG layout: $variable when it holds an absolute path, else
// "<home>/<fallback>"; empty when no home folder can be found.
std::string XdgFolder(const char* variable, const char* fallback);
// Creates every missing folder of an absolute path, each 0700 whatever the
// umask (existing folders keep their mode); true when it exists.
bool EnsureFolderTree(const std::string& path);
// GetAppDataFolder's folder, however long its path; empty when it fails.
std::string AppDataFolder(const char* vendor, const char* product, i16 minMajor);
} // namespace platform
