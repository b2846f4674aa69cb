#include "app/laurel.h"

#include <cstdlib>
#include <utility>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "app/w_start.h"
#include "records/data_source.h"
#include "runtime/platform/files.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"
#include "schema/dataobjects.h"

namespace laurel::win {

namespace {
// The windows live as long as the application object.
std::unique_ptr<w_start> splash;
std::unique_ptr<j_main_mdi> main_window;
}  // namespace

laurel::laurel(std::string startProblem) : Application("laurel"), startProblem_(std::move(startProblem)) {}
laurel::~laurel() = default;

void laurel::create() {
    schema::RegisterDataObjects();
}

void laurel::open(const std::string&) {
    splash = std::make_unique<w_start>();
    ::laurel::w_start = splash.get();
    rt::ui::Open(*splash);

    if (!startProblem_.empty())
        rt::ui::MessageBox("提示信息", "程序启动时没能准备好数据源：\n" + startProblem_,
                           rt::ui::Icon::StopSign);
    sqlca.DBMS = "ODBC";
    sqlca.AutoCommit = false;
    sqlca.DBParm = "Connectstring='DSN=laurel'";
    // Started while its server is down, the program connects at the first command once it is up.
    sqlca.ConnectLater = true;
    sqlca.Connect();
    // The reason already said is the failure's one box.
    if (sqlca.SQLCode != 0 && startProblem_.empty())
        rt::ui::MessageBox("Erroe", "Database connect failed!", rt::ui::Icon::StopSign);

    rt::ui::Sleep(1);
    rt::ui::Close(*splash);

    main_window = std::make_unique<j_main_mdi>();
    ::laurel::j_main_mdi = main_window.get();
    rt::ui::Open(*main_window);

    // Started from the desktop's menu, whose user reads no standard error: what the command that
    // starts the program warns of there is said here too.
    if (const char* menu = std::getenv("LAUREL_FROM_MENU"); menu != nullptr && *menu != '\0')
        records::SayDuplicateDataSources();
}

void laurel::destroy() {
    main_window.reset();
    splash.reset();
    // This copy's working folders; a copy that is killed leaves them to the next start's tidy.
    rt::LeaveOwnFolders();
    // Whatever no command committed is not kept.
    sqlca.Disconnect();
}

}  // namespace laurel::win
