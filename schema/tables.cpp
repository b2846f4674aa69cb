#include "schema/tables.h"

#include "runtime/database/transaction.h"
#include "runtime/text/value.h"

namespace schema {

std::vector<std::string> TablesPresent(rt::Transaction& t) {
    std::vector<std::string> present;
    for (const char* table : kTables) {
        std::vector<rt::Value> count(1);
        if (t.SelectInto(std::string("SELECT count(*) FROM ") + table, {}, count) == 0)
            present.emplace_back(table);
        else
            t.Rollback();  // PostgreSQL ends the transaction at the failure: the next table starts anew
    }
    return present;
}

}  // namespace schema
