#pragma once
// The data-source dialog under 系统管理: where the program's data are, for a user who is not an
// administrator. It shows the data source in use and chooses between this desktop's own database,
// a database on a PostgreSQL server and, where the system has one, the data source that every user
// of the desktop shares. A choice is tried before anything is written: the connection, then the
// tables. It then becomes the user's data source "laurel" (exactly one, the user's alone), which
// the program reads at its next start; the database it leaves is never written to. Moving from
// the own database to a server, the recommendations that are only here can be copied there.

#include <optional>
#include <string>

#include "records/m_main.h"
#include "runtime/config/data_source.h"
#include "runtime/database/transaction.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/window.h"

namespace laurel::records {

class w_datasource : public rt::ui::Window {
  public:
    explicit w_datasource(const CommandTargets& targets);
    ~w_datasource() override;

    void create() override;

    // ---- events -----------------------------------------------------------------------------------
    void rb_clicked();  // any of the three choices: the server's fields serve the server alone
    void cbx_tls_clicked();
    void cb_browse_clicked();
    void cb_test_clicked();
    void cb_ok_clicked();
    void cb_cancel_clicked();

    // After the dialog: the data source it set, when it set one, and whether the user wants the
    // program to end now, so that it starts again on it.
    std::optional<rt::DataSourceDescription> changed;
    bool restart = false;

    // ---- controls, in creation order ------------------------------------------------------------
    rt::ui::StaticText* st_current = nullptr;
    rt::ui::RadioButton* rb_own = nullptr;
    rt::ui::RadioButton* rb_server = nullptr;
    rt::ui::GroupBox* gb_server = nullptr;
    rt::ui::StaticText* st_host = nullptr;
    rt::ui::SingleLineEdit* sle_host = nullptr;
    rt::ui::StaticText* st_port = nullptr;
    rt::ui::SingleLineEdit* sle_port = nullptr;
    rt::ui::StaticText* st_database = nullptr;
    rt::ui::SingleLineEdit* sle_database = nullptr;
    rt::ui::StaticText* st_user = nullptr;
    rt::ui::SingleLineEdit* sle_user = nullptr;
    rt::ui::StaticText* st_password = nullptr;
    rt::ui::SingleLineEdit* sle_password = nullptr;
    rt::ui::CheckBox* cbx_tls = nullptr;
    rt::ui::StaticText* st_authority = nullptr;
    rt::ui::SingleLineEdit* sle_authority = nullptr;
    rt::ui::CommandButton* cb_browse = nullptr;
    rt::ui::RadioButton* rb_system = nullptr;  // shown only where the system has the data source
    rt::ui::CommandButton* cb_test = nullptr;
    rt::ui::CommandButton* cb_ok = nullptr;
    rt::ui::CommandButton* cb_cancel = nullptr;

  private:
    // The server as the fields give it; nothing, once the user has been told what is missing.
    std::optional<rt::ServerSettings> Server();
    // Connects `t` to the database of `entries` and checks that it holds the program's tables, the
    // code tables with their rows: nothing when it serves, else what is wrong, in the user's words,
    // or "" when the user gave up waiting for it. `t` stays connected, its transaction ended,
    // whatever the outcome of the check.
    std::optional<std::string> Try(const rt::DataSourceEntries& entries, rt::Transaction& t) const;
    // Whether the database of `entries` serves, as Try finds it; when not, the user has been told.
    bool Serves(const rt::DataSourceEntries& entries, rt::Transaction& t) const;
    // Offers to copy the recommendations of this desktop's own database to the database of `target`
    // (a server's, or a file that every user of the desktop shares), copies them when the user
    // agrees, and reports what became of each.
    void OfferCopy(rt::Transaction& target, bool server);
    // Writes the user's data source (or removes it, for the system's), and tells the user it takes
    // effect at the next start. False when it could not be written (said already).
    bool Settle(const rt::DataSourceEntries* entries);

    CommandTargets targets_;
    rt::DataSourceDescription current_;  // as written now, which the dialog starts from
    rt::DataSourceDescription system_;
};

// The dialog's size in layout units.
inline constexpr int kDataSourceWidth = 2400;
inline constexpr int kDataSourceHeight = 1600;

}  // namespace laurel::records
