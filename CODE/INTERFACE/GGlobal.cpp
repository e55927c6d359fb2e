#include "INTERFACE/GGlobal.h"

#include "INTERFACE/GRecordNotices.h"
#include "platform/OShell.h"
#include "services/OFile.h"
#include "services/OLogFile.h"

#include <new>

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

std::string GGlobal::RecordsFolder(std::string* why, bool make)
{
    // The product folder and the two below it are the player's alone (made
    // 0700, or narrowed to it); if one of them cannot be, none is used. The
    // paths may be of any length: every file in them is reached by a walk.
    const std::string base = platform::AppDataFolder(kVendor, kProduct, 1, why);
    if (base.empty())
        return base;
    for (const char* name : {kSavesFolderName, kProfilesFolderName})
    {
        if (!platform::MakeOwnFolder(base + "/" + name, why, make))
            return {};
    }
    return base;
}

void GGlobal::Init()
{
    std::string why;
    const std::string base = RecordsFolder(&why, true);
    if (!base.empty())
    {
        savesFolder = base + "/" + kSavesFolderName;
        profilesFolder = base + "/" + kProfilesFolderName;
    }
    const std::string logName = (savesFolder.empty() ? std::string(".") : savesFolder) + "/" + kLogFileName;
    log = new (std::nothrow) OLogFile(logName.c_str());
    if (base.empty())
        ReportRecordsInCurrentFolder(log, why);
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadableRecord(log, *options, GetProfilesFolder());
    ReportUnreadableRecord(log, *profile, GetProfilesFolder());
}

std::string GGlobal::GetRecordsLockFolder()
{
    // Decided as Init decides, but the folders below are only looked at: a
    // start refused after the lock leaves nothing made in them.
    const std::string base = RecordsFolder(nullptr, false);
    return base.empty() ? "." : base;
}

void GGlobal::SaveRecords()
{
    SaveRecordOrReport(log, *profile, GetProfilesFolder());
    SaveRecordOrReport(log, *options, GetProfilesFolder());
}
