#include "INTERFACE/GGlobal.h"

#include "INTERFACE/GRecordNotices.h"
#include "services/OFile.h"
#include "services/OLogFile.h"

#include <cstdio>
#include <new>

namespace
{

// Joins the folder name to the data folder and makes it; an empty result when
// the path does not fit.
void MakeFolder(char* out, const char* base, const char* name)
{
    const int n = std::snprintf(out, MAX_PATH_LENGTH, "%s/%s", base, name);
    if (n < 0 || static_cast<u32>(n) >= MAX_PATH_LENGTH)
    {
        out[0] = '\0';
        return;
    }
    // An existing folder is fine; any other failure shows when the records
    // are written.
    CreateDirInBaseDir(out);
}

} // namespace

GGlobal::GGlobal(GWindow* owner) : window(owner), profile(new GPlayerProfile), options(new GOptions)
{
    profile->owner = this;
}

GGlobal::~GGlobal()
{
    delete profile;
    delete options;
    // Writes the log's footer, so every clean exit ends it with the error count.
    delete log;
}

void GGlobal::Init()
{
    char base[MAX_PATH_LENGTH] = {};
    const bool haveDataFolder = GetAppDataFolder(base, kVendor, kProduct, 1) != 0;
    if (haveDataFolder)
    {
        MakeFolder(savesFolder, base, kSavesFolderName);
        MakeFolder(profilesFolder, base, kProfilesFolderName);
    }
    char logName[MAX_PATH_LENGTH];
    const int n = std::snprintf(logName, sizeof logName, "%s/%s", GetSavesFolder() ? GetSavesFolder() : ".",
                                kLogFileName);
    log = new (std::nothrow) OLogFile(n > 0 && static_cast<u32>(n) < sizeof logName ? logName : kLogFileName);
    if (!haveDataFolder)
        ReportRecordsInCurrentFolder(log);
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadableRecord(log, *options, GetProfilesFolder());
    ReportUnreadableRecord(log, *profile, GetProfilesFolder());
}

std::string GGlobal::GetRecordsLockFolder()
{
    char base[MAX_PATH_LENGTH] = {};
    return GetAppDataFolder(base, kVendor, kProduct, 1) ? base : ".";
}

void GGlobal::SaveRecords()
{
    SaveRecordOrReport(log, *profile, GetProfilesFolder());
    SaveRecordOrReport(log, *options, GetProfilesFolder());
}
