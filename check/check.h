#pragma once
// The completeness check with its version number, the gate of Print and Export, and the print
// buffer that the Print command fills for the documents.

#include <string>

#include "document/print_buffer.h"
#include "runtime/database/transaction.h"
#include "runtime/datawindow/datawindow.h"

namespace laurel::check {

// The pages the rules read, and the recommendation list, whose row is read again once a version
// number has put the recommendation into the saved state.
struct CheckedPages {
    rt::DataWindow& dw_no1;
    rt::DataWindow& dw_no2;
    rt::DataWindow& dw_no3;
    rt::DataWindow& dw_no4;
    rt::DataWindow& dw_no71;
    rt::DataWindow& dw_no;
};

// Reads each page afresh and applies its rules to what is stored: the first rule that fails says so
// and ends the check (0). A complete recommendation shows its version number, made first when it has
// none and the user agrees (1); 0 when the user declines or the number cannot be read or stored. A
// page that cannot be read is no verdict: 0 after the database's own box. The caller saves what the
// pages hold first.
int all_check(const CheckedPages& pages, rt::Transaction& sqlca, const std::string& current_id);

// The pages the print buffer is made from.
struct PreparedPages {
    rt::DataWindow& dw_no1;
    rt::DataWindow& dw_no2;
    rt::DataWindow& dw_no3;
    rt::DataWindow& dw_no4;
    rt::DataWindow& dw_no512;
    rt::DataWindow& dw_no522;
    rt::DataWindow& dw_no53;
    rt::DataWindow& dw_no71;
    rt::DataWindow& dw_no92;
    rt::DataWindow& dw_no94;
};

struct Prepared {
    int result;  // 1 filled; -1 a page could not be read, and the buffer holds what was read before it
    document::PrintBuffer buffer;
};

// The print buffer of the recommendation, each page read afresh just before its fields.
Prepared all_prepare(const PreparedPages& pages, const std::string& current_id);

}  // namespace laurel::check
