#pragma once
#include "GAME/GPlayerRecords.h"
#include "core/SinTable.h"
#include "core/Types.h"
#include "platform/files/NamedMutex.h"

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

    // Where a copy keeps the player's records and its log. One decision,
    // made once before anything is read or written, gives the records'
    // folder, the log's folder and the folder that is locked against a
    // second copy, so the three always agree.
    struct RecordsPlace
    {
        enum class Kind
        {
            DataFolder,    // PROFILES (and the log in SAVES) under the application-data folder
            CurrentFolder, // the records and the log in the current folder
            Nowhere        // neither is usable: nothing is read, saved or logged
        };
        Kind kind = Kind::Nowhere;
        std::string profiles; // DataFolder: the profiles folder
        std::string saves;    // DataFolder: the saves folder
        std::string logWhy;   // why the saves folder cannot hold the log; empty when it can
        std::string why;      // why the application-data folder is not used
        std::string hereWhy;  // Nowhere: why the current folder is not used either
    };

    // Decides where the records are kept: the product folder under the
    // application-data folder, with its profiles and saves folders (made as
    // the player's alone), when its profiles folder can be used and its lock
    // file held; else the current folder, when it is root's or the player's
    // (sticky if others may write it) and its lock file can be held; else
    // nowhere. Each lock is taken through mutex.Hold (none without a mutex);
    // *held (when given) becomes AlreadyExists when another copy holds one.
    static RecordsPlace DecideRecords(platform::NamedMutex* mutex,
                                      platform::NamedMutex::Result* held = nullptr);
    // The process's decision, taken before the window exists: the records
    // are locked through mutex and kept for Init. AlreadyExists when another
    // copy holds them.
    static platform::NamedMutex::Result LockRecords(platform::NamedMutex& mutex);

    // Reads the profile and the options where the records are kept (the
    // decision LockRecords took, or one taken now without a lock) and opens
    // the log beside them.
    void Init();

    // The folders, or null when the records live in the current folder (or
    // nowhere).
    const char* GetSavesFolder() const { return savesFolder.empty() ? nullptr : savesFolder.c_str(); }
    const char* GetProfilesFolder() const
    {
        return profilesFolder.empty() ? nullptr : profilesFolder.c_str();
    }
    // False when no folder can keep the records: they are neither read nor saved.
    bool RecordsKept() const { return recordsKept; }

    // Writes the profile and the options back where they are kept.
    void SaveRecords();

private:
    // Paths of any length: a folder cut to fit would be another one.
    std::string savesFolder;
    std::string profilesFolder;
    bool recordsKept = true;
};
