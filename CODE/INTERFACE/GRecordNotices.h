#pragma once
// What the player is told about their records when something is wrong with
// them: where they are kept, which cannot be read, which cannot be saved.
#include "GAME/GPlayerRecords.h"

#include <string>

class OLogFile;

// The one place such a line is told: on the terminal, and as an error line
// in the HTML log (log may be null).
void ReportRecordProblem(OLogFile* log, const char* line);
// The application-data folder is unusable, so the records are read from and
// written to the current folder; why, when known, names the folder that
// could not be used and says why.
void ReportRecordsInCurrentFolder(OLogFile* log, const std::string& why);
// Neither the application-data folder nor the current folder can keep the
// records (why and hereWhy say why, when known): this session neither reads
// nor saves them, and keeps no log.
void ReportRecordsKeptNowhere(const std::string& why, const std::string& hereWhy);
// After Load: says so when the record exists but could not be read (Save
// then leaves it alone).
template <class Record> void ReportUnreadableRecord(OLogFile* log, const Record& record, const char* folder);
// Save, and say so when it fails (a record that could not be read is not
// saved and was reported at start-up).
template <class Record> void SaveRecordOrReport(OLogFile* log, const Record& record, const char* folder);
