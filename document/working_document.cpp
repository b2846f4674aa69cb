#include "document/working_document.h"

#include "runtime/platform/dialogs.h"

namespace laurel::document {

namespace {
constexpr std::string_view kWordClass = "word.application";
}  // namespace

bool Attach(rt::word::Application& word) {
    if (word.ConnectToObject("", kWordClass) == 0) return true;
    const long status = word.ConnectToNewObject(kWordClass);
    if (status == 0) return true;
    rt::MessageBox("错误", "启动word错误: " + std::to_string(status), rt::Icon::StopSign);
    return false;
}

}  // namespace laurel::document
