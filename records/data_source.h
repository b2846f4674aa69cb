#pragma once
// Where the program's data are: the data source that the transaction connects to, as the status
// line names it in a few words and the about window in full.

#include <string>

#include "runtime/config/data_source.h"

namespace laurel::records {

// The name of the data source that sqlca connects to ("laurel").
std::string DataSourceName();
// The data source as the driver manager finds it for that name now.
rt::DataSourceDescription CurrentDataSource();
// The data source the program works on: as it was found when the main window connected. The
// data-source dialog may rewrite it meanwhile; that takes effect at the next start.
void NoteDataSourceInUse();
const rt::DataSourceDescription& DataSourceInUse();

// In a few words: "本机数据库 laurel.db", "服务器 db.example.org/laurel"; "（未连接）" after it
// while the program is not connected.
std::string DataSourceStatus(const rt::DataSourceDescription& source, bool connected);
// In full, a line for each of its parts (driver, server, port, database or file, user); never
// the password.
std::string DataSourceLines(const rt::DataSourceDescription& source);

// When the user's own data sources hold the program's more than once, says so in a box: the
// driver manager reads the first alone, and the user may believe the program works on another
// database. Nothing when they hold it once or not at all.
void SayDuplicateDataSources();

}  // namespace laurel::records
