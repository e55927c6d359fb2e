#include "INTERFACE/GRecordNotices.h"

#include "services/OLogFile.h"
#include "services/OSaveFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

void ReportRecordsInCurrentFolder(OLogFile* log, const std::string& why)
{
    // The current folder's name, however long.
    char* here = ::getcwd(nullptr, 0);
    const std::string line =
        std::string("The application-data folder (under $XDG_DATA_HOME or $HOME/.local/share) cannot be used") +
        (why.empty() ? "" : " (" + why + ")") + "; the player's records are kept in the current folder, \"" +
        (here ? here : ".") + "\".";
    std::free(here);
    ReportRecordProblem(log, line.c_str());
}

template <class Record> void ReportUnreadableRecord(OLogFile* log, const Record& record, const char* folder)
{
    if (record.loadState != SaveFileState::Unreadable)
        return;
    const std::string line = std::string("The ") + RecordName(Record::kSaveNumber) + " \"" +
                             SaveFileName(Record::kSaveNumber, folder) + "\" cannot be read (" +
                             std::strerror(record.loadError) +
                             "); it is left as it is and this session's changes to it will not be saved.";
    ReportRecordProblem(log, line.c_str());
}

template <class Record> void SaveRecordOrReport(OLogFile* log, const Record& record, const char* folder)
{
    if (record.loadState == SaveFileState::Unreadable)
        return;
    errno = 0;
    if (record.Save(folder))
        return;
    const int error = errno ? errno : EIO;
    const std::string line = std::string("The ") + RecordName(Record::kSaveNumber) +
                             " could not be saved to \"" + SaveFileName(Record::kSaveNumber, folder) +
                             "\" (" + std::strerror(error) + ").";
    ReportRecordProblem(log, line.c_str());
}

template void ReportUnreadableRecord(OLogFile*, const GPlayerProfile&, const char*);
template void ReportUnreadableRecord(OLogFile*, const GOptions&, const char*);
template void SaveRecordOrReport(OLogFile*, const GPlayerProfile&, const char*);
template void SaveRecordOrReport(OLogFile*, const GOptions&, const char*);
