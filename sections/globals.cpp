#include "sections/globals.h"

namespace laurel {

rt::Transaction sqlca;
std::string current_id;
long current_page = 0;
int current_ry = 0;
int current_dw = 0;

}  // namespace laurel
