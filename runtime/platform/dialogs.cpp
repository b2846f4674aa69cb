#include "runtime/platform/dialogs.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace rt {

DialogService::~DialogService() = default;

int EscapeAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::OK:
        case Buttons::Cancel:
            return 1;
        case Buttons::OKCancel:
        case Buttons::RetryCancel:
            return 2;
        case Buttons::YesNoCancel:
            return 3;
        case Buttons::YesNo:
        case Buttons::AbortRetryIgnore:
            break;
    }
    return 0;
}

namespace {

// Without windows nobody can answer: each message goes to the standard error with its default
// button as the answer, so that a failure still leaves a trace; no file is ever chosen.
class StandardErrorDialogs : public DialogService {
  public:
    int Message(const MessageRequest& request) override {
        std::fprintf(stderr, "%s: %s\n", request.title.c_str(), request.text.c_str());
        if (!request.details.empty()) std::fprintf(stderr, "%s\n", request.details.c_str());
        return request.defaultButton;
    }
    // Nobody can give up: the wait lasts as long as the database keeps it.
    int Waiting(const MessageRequest&, const std::function<bool()>& over) override {
        while (!over()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return 0;
    }
    FileAnswer File(const FileRequest&) override { return {}; }
    void Help(const std::string&) override {}
    void Link(const std::string&) override {}
};

std::unique_ptr<DialogService>& Current() {
    static std::unique_ptr<DialogService> service;
    return service;
}

std::unique_ptr<DialogService> (*&DefaultMaker())() {
    static std::unique_ptr<DialogService> (*make)() = nullptr;
    return make;
}

std::function<void()>& WaitForUserHook() {
    static std::function<void()> hook;
    return hook;
}

void WaitForUser() {
    if (auto hook = WaitForUserHook()) hook();
}

int AskFile(bool save, std::string_view title, std::string& path, std::string& file,
            std::string_view extension, std::string_view filter, std::string_view initialDir) {
    WaitForUser();
    FileAnswer a = Dialogs().File(
        {save, std::string(title), std::string(extension), std::string(filter), std::string(initialDir)});
    if (a.result == 1) {
        path = a.path;
        file = a.file;
    }
    return a.result;
}

}  // namespace

void SetDefaultDialogs(std::unique_ptr<DialogService> (*make)()) {
    DefaultMaker() = make;
}

DialogService& Dialogs() {
    auto& s = Current();
    if (!s) s = DefaultMaker() != nullptr ? DefaultMaker()() : std::make_unique<StandardErrorDialogs>();
    return *s;
}

std::unique_ptr<DialogService> SetDialogs(std::unique_ptr<DialogService> service) {
    auto old = std::move(Current());
    Current() = std::move(service);
    return old;
}

void OnWaitForUser(std::function<void()> hook) {
    WaitForUserHook() = std::move(hook);
}

int MessageBox(std::string_view title, std::string_view text, Icon icon, Buttons buttons, int defaultButton) {
    return MessageBox({std::string(title), std::string(text), icon, buttons, defaultButton});
}

int MessageBox(const MessageRequest& request) {
    WaitForUser();
    return Dialogs().Message(request);
}

int GetFileSaveName(std::string_view title, std::string& path, std::string& file, std::string_view extension,
                    std::string_view filter, std::string_view initialDir) {
    return AskFile(true, title, path, file, extension, filter, initialDir);
}

int GetFileOpenName(std::string_view title, std::string& path, std::string& file, std::string_view extension,
                    std::string_view filter, std::string_view initialDir) {
    return AskFile(false, title, path, file, extension, filter, initialDir);
}

void ShowHelp(const std::string& path) {
    Dialogs().Help(path);
}

void OpenLink(const std::string& url) {
    Dialogs().Link(url);
}

}  // namespace rt
