#pragma once
#include "GAME/GPlayerRecords.h"
#include "core/SinTable.h"
#include "core/Types.h"

#include <string>

class GWindow;
class OBitmapStore;
class OLogFile;

// The application object through which the subsystems reach the shared
// services. The window object owns it.
class GGlobal
{
public:
    static constexpr const char* kVendor = "Quenvo";
    static constexpr const char* kProduct = "ZORBLET";
    static constexpr const char* kSavesFolderName = "SAVES";
    static constexpr const char* kProfilesFolderName = "PROFILES";
    static constexpr const char* kLogFileName = "zorblet.html";

    GWindow* window = nullptr;
    OBitmapStore* imageStore = nullptr; // joins with the image store
    OLogFile* log = nullptr;            // joins with the HTML log
    GPlayerProfile* profile = nullptr;
    GOptions* options = nullptr;
    SinTable sinTable;

    explicit GGlobal(GWindow* owner);
    ~GGlobal();
    GGlobal(const GGlobal&) = delete;
    GGlobal& operator=(const GGlobal&) = delete;

    // Makes the saves and profiles folders under the application-data folder
    // and reads the profile and the options from the profiles folder.
    void Init();

    // The folders, or null when the application-data folder is unavailable
    // (the records then live in the current folder).
    const char* GetSavesFolder() const { return savesFolder.empty() ? nullptr : savesFolder.c_str(); }
    const char* GetProfilesFolder() const
    {
        return profilesFolder.empty() ? nullptr : profilesFolder.c_str();
    }

    // Writes the profile and the options back to the profiles folder.
    void SaveRecords();

    // The folder that holds this user's records and log: the product folder
    // under the application-data folder (made when missing), or the current
    // folder when that cannot be used, decided as Init decides. A running
    // copy locks it, so that two copies never write over each other's
    // records.
    static std::string GetRecordsLockFolder();

private:
    // Paths of any length: a folder cut to fit would be another one.
    std::string savesFolder;
    std::string profilesFolder;

    // The product folder, with the saves and profiles folders in it (made
    // when `make`), when the records can be kept there; else empty, and *why
    // (when given) names the folder that cannot be used and says why.
    static std::string RecordsFolder(std::string* why, bool make);
};
