#pragma once
// The application's globals: the open instances of the windows and the award office's address, over
// the transaction, what is current and the program folder of the folders below.

#include <string>

#include "records/globals.h"
#include "sections/globals.h"

namespace laurel {

namespace win {
class w_start;
class j_main_mdi;
}  // namespace win

// The open windows (nullptr when not open).
extern win::w_start* w_start;
extern win::j_main_mdi* j_main_mdi;

// The address of the award office's web site, from the program's settings; the links open its
// path "/wlsb".
std::string AwardOfficeSite();

}  // namespace laurel
