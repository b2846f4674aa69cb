#pragma once
// Shared by the definition files of the DataWindow objects: registration entry points and small
// builders that keep the definitions readable as data.

#include <string>
#include <utility>
#include <vector>

#include "runtime/datawindow/dwdef.h"

namespace schema {

void RegisterAuxObjects();      // dw, dw_max, dw_recomdept, dw_xk and the seven export views
void RegisterProjectObjects();  // dw_1 ... dw_6
void RegisterPeopleObjects();   // dw_71 ... dw_94

// A column read from `table`: dbName "table.name".
inline rt::ColumnDef Column(const std::string& table, const std::string& name, rt::ColType type,
                            int length = 0) {
    rt::ColumnDef c;
    c.name = name;
    c.dbName = table + "." + name;
    c.type = type;
    c.length = length;
    return c;
}

inline rt::ColumnDef Char(const std::string& table, const std::string& name, int length) {
    return Column(table, name, rt::ColType::Char, length);
}

}  // namespace schema
