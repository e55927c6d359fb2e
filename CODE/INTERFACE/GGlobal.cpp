#include "INTERFACE/GGlobal.h"

#include "INTERFACE/GRecordNotices.h"
#include "services/OFile.h"

#include <cstdio>

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

GGlobal::GGlobal(GWindow* owner) : window(owner), profile(new GPlayerProfile), options(new GOptions) {}

GGlobal::~GGlobal()
{
    delete profile;
    delete options;
}

void GGlobal::Init()
{
    char base[MAX_PATH_LENGTH] = {};
    if (GetAppDataFolder(base, kVendor, kProduct, 1))
    {
        MakeFolder(savesFolder, base, kSavesFolderName);
        MakeFolder(profilesFolder, base, kProfilesFolderName);
    }
    else
    {
        ReportRecordsInCurrentFolder(log);
    }
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadableRecord(log, *options, GetProfilesFolder());
    ReportUnreadableRecord(log, *profile, GetProfilesFolder());
}

void GGlobal::SaveRecords()
{
    SaveRecordOrReport(log, *profile, GetProfilesFolder());
    SaveRecordOrReport(log, *options, GetProfilesFolder());
}
