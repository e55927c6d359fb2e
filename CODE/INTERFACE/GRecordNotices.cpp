#include "INTERFACE/GRecordNotices.h"

#include "platform/SystemInfo.h"
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

namespace
{

std::string DataFolderUnusable(const std::string& why)
{
    return std::string(
               "The application-data folder (under $XDG_DATA_HOME or $HOME/.local/share) cannot be used") +
           (why.empty() ? "" : " (" + why + ")");
}

// The current folder's name, however long.
std::string Here()
{
    const std::string here = platform::GetCurrentFolder();
    return here.empty() ? "." : here;
}

} // namespace

void ReportRecordsInCurrentFolder(OLogFile* log, const std::string& why)
{
    const std::string line = DataFolderUnusable(why) +
                             "; the player's records are kept in the current folder, \"" + Here() + "\".";
    ReportRecordProblem(log, line.c_str());
}

void ReportRecordsKeptNowhere(const std::string& why, const std::string& hereWhy)
{
    const std::string line =
        DataFolderUnusable(why) + ", nor can the current folder, \"" + Here() + "\"" +
        (hereWhy.empty() ? "" : " (" + hereWhy + ")") +
        "; this session's records are not read, its changes are not saved and it keeps no log.";
    ReportRecordProblem(nullptr, line.c_str());
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
