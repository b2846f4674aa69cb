#pragma once
// The user's data source "laurel" on the first start. Where the program is started through its
// launcher (Linux: the command tallowmere), the launcher prepares it and this only passes on why
// it could not (started from the desktop's menu, it says why); where the program is started directly
// (Windows: the Start menu), the program does it itself, as the launcher would:
//   - a user who has no data source "laurel" gets a demo database in the user's own data folder
//     (`create` makes it) and a user-level data source for it, through the SQLite ODBC driver
//     that comes with the program;
//   - a data source that exists is used as it is; only when it names a SQLite file that does not
//     exist yet is the demo database created there. A data source is never overwritten.
// False with `error` (in Chinese) when the data source could not be prepared; the program then
// starts anyway and says that it cannot connect.

#include <functional>
#include <string>

namespace rt {

using CreateDatabase = std::function<bool(const std::string& path, std::string& error)>;

bool PrepareDataSource(const CreateDatabase& create, std::string& error);

}  // namespace rt
