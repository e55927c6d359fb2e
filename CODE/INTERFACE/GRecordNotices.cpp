#include "INTERFACE/GRecordNotices.h"

#include "platform/OShell.h"
#include "services/OLogFile.h"
#include "services/OSaveFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace
{

const char* RecordName(u32 number)
{
    return number == GPlayerProfile::kSaveNumber ? "player profile" : "options record";
}

} // namespace

void ReportRecordProblem(OLogFile* log, const char* line)
{
    std::fprintf(stderr, "%s\n", line);
    if (log)
        log->Error("%s", line);
}

void ReportRecordsInCurrentFolder(OLogFile* log)
{
    char here[MAX_PATH_LENGTH] = ".";
    if (!::getcwd(here, sizeof here))
        std::strcpy(here, ".");
    char line[2 * MAX_PATH_LENGTH];
    std::snprintf(line, sizeof line,
                  "The application-data folder (under $XDG_DATA_HOME or $HOME/.local/share) cannot be used; "
                  "the player's records are kept in the current folder, \"%s\".",
                  here);
    ReportRecordProblem(log, line);
}

template <class Record> void ReportUnreadableRecord(OLogFile* log, const Record& record, const char* folder)
{
    if (record.loadState != SaveFileState::Unreadable)
        return;
    char path[MAX_PATH_LENGTH] = {};
    BuildSaveFileName(path, Record::kSaveNumber, folder);
    char line[2 * MAX_PATH_LENGTH];
    std::snprintf(line, sizeof line,
                  "The %s \"%s\" cannot be read (%s); it is left as it is and this session's changes to it "
                  "will not be saved.",
                  RecordName(Record::kSaveNumber), path, std::strerror(record.loadError));
    ReportRecordProblem(log, line);
}

template <class Record> void SaveRecordOrReport(OLogFile* log, const Record& record, const char* folder)
{
    if (record.loadState == SaveFileState::Unreadable)
        return;
    errno = 0;
    if (record.Save(folder))
        return;
    const int error = errno ? errno : EIO;
    char path[MAX_PATH_LENGTH] = {};
    BuildSaveFileName(path, Record::kSaveNumber, folder);
    char line[2 * MAX_PATH_LENGTH];
    std::snprintf(line, sizeof line, "The %s could not be saved to \"%s\" (%s).",
                  RecordName(Record::kSaveNumber), path, std::strerror(error));
    ReportRecordProblem(log, line);
}

template void ReportUnreadableRecord(OLogFile*, const GPlayerProfile&, const char*);
template void ReportUnreadableRecord(OLogFile*, const GOptions&, const char*);
template void SaveRecordOrReport(OLogFile*, const GPlayerProfile&, const char*);
template void SaveRecordOrReport(OLogFile*, const GOptions&, const char*);
