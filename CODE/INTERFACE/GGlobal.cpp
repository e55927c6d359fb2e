#include "INTERFACE/GGlobal.h"

#include "services/OFile.h"
#include "services/OSaveFile.h"

#include <cerrno>
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

// Tells what became of one record: read at start-up but unreadable (it is
// then never written over), or not saved at exit.
template <class Record>
void ReportRecord(const Record& record, const char* what, const char* folder, int saveError)
{
    const bool unreadable = record.loadState == SaveFileState::Unreadable;
    if (!unreadable && saveError == 0)
        return;
    char path[MAX_PATH_LENGTH] = {};
    BuildSaveFileName(path, Record::kSaveNumber, folder);
    char line[2 * MAX_PATH_LENGTH];
    if (unreadable)
        std::snprintf(
            line, sizeof line,
            "The %s \"%s\" cannot be read (%s); it is left as it is and this session's changes to it "
            "will not be saved.",
            what, path, std::strerror(record.loadError));
    else
        std::snprintf(line, sizeof line, "The %s could not be saved to \"%s\" (%s).", what, path,
                      std::strerror(saveError));
    ReportRecordProblem(line);
}

template <class Record> int SaveRecord(const Record& record, const char* folder)
{
    if (record.loadState == SaveFileState::Unreadable)
        return 0; // said at start-up
    errno = 0;
    return record.Save(folder) ? 0 : (errno ? errno : EIO);
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
    ReportRecord(*options, "options record", GetProfilesFolder(), 0);
    ReportRecord(*profile, "player profile", GetProfilesFolder(), 0);
}

void GGlobal::SaveRecords()
{
    if (const int error = SaveRecord(*profile, GetProfilesFolder()))
        ReportRecord(*profile, "player profile", GetProfilesFolder(), error);
    if (const int error = SaveRecord(*options, GetProfilesFolder()))
        ReportRecord(*options, "options record", GetProfilesFolder(), error);
}
