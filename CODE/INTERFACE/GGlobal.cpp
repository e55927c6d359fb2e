#include "INTERFACE/GGlobal.h"

#include "INTERFACE/GRecordNotices.h"
#include "platform/OShell.h"
#include "services/OFile.h"
#include "services/OLogFile.h"

#include <climits>
#include <new>

namespace
{

// Room for the longest name the game keeps under the product folder (a
// record's replacement, "/PROFILES/00050000.bin.XXXXXX", the log, the lock).
constexpr size_t kLongestNameInside = 64;

// Joins the folder name to the data folder and makes it (0700). An existing
// folder is fine; any other failure shows when the records are written.
std::string MakeFolder(const std::string& base, const char* name)
{
    std::string folder = base + "/" + name;
    CreateDirInBaseDir(folder.c_str());
    return folder;
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

std::string GGlobal::RecordsFolder()
{
    std::string base = platform::AppDataFolder(kVendor, kProduct, 1);
    // The system takes no path of PATH_MAX bytes or more: a folder whose
    // files could not be named is as unusable as one that cannot be made.
    if (base.size() + kLongestNameInside >= PATH_MAX)
        base.clear();
    return base;
}

void GGlobal::Init()
{
    const std::string base = RecordsFolder();
    if (!base.empty())
    {
        savesFolder = MakeFolder(base, kSavesFolderName);
        profilesFolder = MakeFolder(base, kProfilesFolderName);
    }
    const std::string logName = (savesFolder.empty() ? std::string(".") : savesFolder) + "/" + kLogFileName;
    log = new (std::nothrow) OLogFile(logName.c_str());
    if (base.empty())
        ReportRecordsInCurrentFolder(log);
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadableRecord(log, *options, GetProfilesFolder());
    ReportUnreadableRecord(log, *profile, GetProfilesFolder());
}

std::string GGlobal::GetRecordsLockFolder()
{
    const std::string base = RecordsFolder();
    return base.empty() ? "." : base;
}

void GGlobal::SaveRecords()
{
    SaveRecordOrReport(log, *profile, GetProfilesFolder());
    SaveRecordOrReport(log, *options, GetProfilesFolder());
}
