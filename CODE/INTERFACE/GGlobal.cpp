#include "INTERFACE/GGlobal.h"

#include "services/OFile.h"
#include "services/OSaveFile.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

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

// The one place where problems with the player's records are told: the
// terminal now, the HTML log as well once it is there.
void ReportRecordProblem(const char* line)
{
    std::fprintf(stderr, "%s\n", line);
}

template <class Record> void ReportUnreadable(const Record& record, const char* what, const char* folder)
{
    if (record.loadState != SaveFileState::Unreadable)
        return;
    char path[MAX_PATH_LENGTH] = {};
    BuildSaveFileName(path, Record::kSaveNumber, folder);
    char line[2 * MAX_PATH_LENGTH];
    std::snprintf(line, sizeof line,
                  "The %s \"%s\" cannot be read (%s); it is left as it is and this session's changes to it "
                  "will not be saved.",
                  what, path, std::strerror(record.loadError));
    ReportRecordProblem(line);
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
        char here[MAX_PATH_LENGTH] = ".";
        if (!::getcwd(here, sizeof here))
            std::strcpy(here, ".");
        char line[2 * MAX_PATH_LENGTH];
        std::snprintf(
            line, sizeof line,
            "The application-data folder (under $XDG_DATA_HOME or $HOME/.local/share) cannot be used; "
            "the player's records are kept in the current folder, \"%s\".",
            here);
        ReportRecordProblem(line);
    }
    options->Load(GetProfilesFolder());
    profile->Load(GetProfilesFolder());
    ReportUnreadable(*options, "options record", GetProfilesFolder());
    ReportUnreadable(*profile, "player profile", GetProfilesFolder());
}

void GGlobal::SaveRecords()
{
    profile->Save(GetProfilesFolder());
    options->Save(GetProfilesFolder());
}
