#pragma once
// The dialog service under the window side's names, and its Qt implementation, which becomes the
// default once this library is loaded.

#include <memory>

#include "runtime/platform/dialogs.h"

namespace rt::ui {

using rt::Buttons;
using rt::Dialogs;
using rt::DialogService;
using rt::EscapeAnswer;
using rt::FileAnswer;
using rt::FileRequest;
using rt::GetFileOpenName;
using rt::GetFileSaveName;
using rt::Icon;
using rt::MessageBox;
using rt::MessageRequest;
using rt::OnWaitForUser;
using rt::OpenLink;
using rt::SetDialogs;
using rt::ShowHelp;

// The Qt implementation (modal QMessageBox with 是/否/取消/确定, QFileDialog, QDesktopServices).
std::unique_ptr<DialogService> MakeQtDialogs();

}  // namespace rt::ui
