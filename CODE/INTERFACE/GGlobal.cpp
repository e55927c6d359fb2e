#include "INTERFACE/GGlobal.h"

#include "INTERFACE/GRecordNotices.h"
#include "platform/SystemInfo.h"
#include "platform/files/FileWalk.h"
#include "platform/files/OShell.h"
#include "services/OFile.h"
#include "services/OLogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>

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

namespace
{

// The decision LockRecords took for this process, until Init takes it.
std::optional<GGlobal::RecordsPlace> decided;

} // namespace

GGlobal::RecordsPlace GGlobal::DecideRecords(platform::NamedMutex* mutex, platform::NamedMutex::Result* held)
{
    using Result = platform::NamedMutex::Result;
    using Kind = RecordsPlace::Kind;
    RecordsPlace place;
    Result result = Result::Created;
    auto hold = [&](const std::string& folder, std::string* why)
    { return result = mutex ? mutex->Hold(folder, why) : Result::Created; };
    auto done = [&]
    {
        if (held)
            *held = result;
        return place;
    };
    // The product folder and the two below it are the player's alone (made
    // 0700, or narrowed to it). The records need the profiles folder; the
    // log can do without the saves folder.
    const std::string base = platform::AppDataFolder(kVendor, kProduct, 1, &place.why);
    if (!base.empty() && platform::MakeOwnFolder(base + "/" + kProfilesFolderName, &place.why) &&
        hold(base, &place.why) != Result::Failed)
    {
        if (result == Result::AlreadyExists)
            return done();
        place.kind = Kind::DataFolder;
        place.profiles = base + "/" + kProfilesFolderName;
        place.saves = base + "/" + kSavesFolderName;
        platform::MakeOwnFolder(place.saves, &place.logWhy);
        return done();
    }
    // The current folder is judged as a home is: files kept in one that
    // others may rename, or in another user's, are not the player's to keep.
    const platform::Descriptor here(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info
    {
    };
    if (here.Get() < 0 || ::fstat(here.Get(), &info) != 0)
        place.hereWhy = std::strerror(errno);
    else if (const platform::Refusal refusal = platform::HomeFolderRefusal(here.Get(), info);
             refusal != platform::Refusal::None)
        place.hereWhy = platform::DescribeRefusal(refusal, platform::GetCurrentFolder());
    else if (hold(".", &place.hereWhy) != Result::Failed)
        place.kind = Kind::CurrentFolder;
    return done();
}

platform::NamedMutex::Result GGlobal::LockRecords(platform::NamedMutex& mutex)
{
    platform::NamedMutex::Result held = platform::NamedMutex::Result::Created;
    decided = DecideRecords(&mutex, &held);
    return held;
}

void GGlobal::Init()
{
    const RecordsPlace place = decided ? *decided : DecideRecords(nullptr);
    decided.reset();
    std::string logName;
    switch (place.kind)
    {
    case RecordsPlace::Kind::DataFolder:
        profilesFolder = place.profiles;
        if (place.logWhy.empty())
            savesFolder = place.saves, logName = savesFolder + "/" + kLogFileName;
        else
            std::fprintf(stderr, "The log \"%s/%s\" cannot be written (%s); this session keeps no log.\n",
                         place.saves.c_str(), kLogFileName, place.logWhy.c_str());
        break;
    case RecordsPlace::Kind::CurrentFolder:
        logName = std::string("./") + kLogFileName;
        break;
    case RecordsPlace::Kind::Nowhere:
        recordsKept = false;
        break;
    }
    if (!logName.empty())
        log = new (std::nothrow) OLogFile(logName.c_str());
    if (place.kind == RecordsPlace::Kind::CurrentFolder)
        ReportRecordsInCurrentFolder(log, place.why);
    if (!recordsKept)
    {
        ReportRecordsKeptNowhere(place.why, place.hereWhy);
        return;
    }
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadableRecord(log, *options, GetProfilesFolder());
    ReportUnreadableRecord(log, *profile, GetProfilesFolder());
}

void GGlobal::SaveRecords()
{
    if (!recordsKept)
        return;
    SaveRecordOrReport(log, *profile, GetProfilesFolder());
    SaveRecordOrReport(log, *options, GetProfilesFolder());
}
