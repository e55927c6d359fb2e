#pragma once
// Folders and documents as the desktop offers them.
#include "core/Types.h"

#include <initializer_list>
#include <string>

// Room for a path in the callers' buffers.
inline constexpr u32 MAX_PATH_LENGTH = 1024;

// The shared application-data folder: "<data home>/<vendor>/<product>", the
// data home being $XDG_DATA_HOME or ~/.local/share. Creates the folders on
// the way when missing, each 0700 (one that exists keeps its mode); the
// product folder must be the player's (see platform::MakeOwnFolder). out holds
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
// umask (existing folders keep their mode); true when it exists. Each step
// goes through the walk of FileWalk.h and is judged by its rule; *refused
// (when given) says in plain words what the rule refused, if that was why.
bool EnsureFolderTree(const std::string& path, std::string* refused = nullptr);
// Makes the folder `path` (0700) when missing, as one of the game's own
// folders, which must be the player's alone (FileWalk.h judges it and its
// way): one that fails that rule is not used, and one of the player's that
// others may write is narrowed to 0700. False when it cannot be used, errno
// EPERM or EACCES when the rule refused it and another errno when it cannot
// be made or opened; *why (when given) then names the folder and says why,
// in plain words. Without `make`, a missing folder is left missing and
// counts as usable.
bool MakeOwnFolder(const std::string& path, std::string* why = nullptr, bool make = true);
// Makes the home (as EnsureFolderTree does) and the game's folders `names`
// in it, one inside the other, each as MakeOwnFolder makes it. The last
// folder's path, or empty with *why (when given) saying why.
std::string MakeOwnFolders(const std::string& home, std::initializer_list<const char*> names,
                           std::string* why = nullptr);
// GetAppDataFolder's folder, however long its path; empty when it fails, and
// *why (when given) then says why when it is a folder that cannot be used.
// The product folder is made as MakeOwnFolder makes it.
std::string AppDataFolder(const char* vendor, const char* product, i16 minMajor, std::string* why = nullptr);
} // namespace platform
