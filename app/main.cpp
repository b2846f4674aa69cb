#include "app/laurel.h"
#include "runtime/config/first_start.h"
#include "runtime/ui/application.h"
#include "schema/initdb.h"

int main(int argc, char** argv) {
    // Where no launcher prepared the user's data source before this start, the program does; when
    // that fails it starts anyway, says why, and that it cannot connect.
    std::string error;
    if (rt::PrepareDataSource(
            [](const std::string& path, std::string& why) { return schema::CreateDatabase(path, why); },
            error))
        error.clear();
    laurel::win::laurel app(error);
    return app.Run(argc, argv);
}
