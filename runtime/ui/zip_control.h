#pragma once
// The zip component placed on a window: an invisible control whose automation object is the zip
// component, as the window's other controls reach it ("ole_1.Object().zip()").

#include <string>

#include "runtime/formats/zip.h"
#include "runtime/ui/controls.h"

namespace rt::ui {

class ZipControl : public ComponentHost {
  public:
    ZipControl(Window& parent, std::string name);
    rt::Zip& Object() { return zip_; }
    const rt::Zip& Object() const { return zip_; }

  private:
    rt::Zip zip_;
};

}  // namespace rt::ui
