#include "runtime/ui/zip_control.h"

#include <utility>

namespace rt::ui {

ZipControl::ZipControl(Window& parent, std::string name) : ComponentHost(parent, std::move(name), "zip") {}

}  // namespace rt::ui
