#include "runtime/testing/scripted_dialogs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace rt {

int ScriptedDialogs::Message(const MessageRequest& request) {
    if (auto meanwhile = whileShown) meanwhile(request);
    Record r{request, request.defaultButton, true};
    for (;;) {
        if (answers_.empty()) {
            r.answer = request.defaultButton;
            r.expected = false;
            break;
        }
        r.answer = answers_.front();
        answers_.pop_front();
        if (r.answer != kEscape && r.answer != kCloseBox) break;
        r.answer = EscapeAnswer(request.buttons);
        if (r.answer != 0) break;
        ++r.ignored;
    }
    messages.push_back(r);
    if (!r.expected && Unexpected() > kMaxUnexpected) {
        // Not an exception: the box may have been asked for inside an event handler of the toolkit,
        // which an exception must not cross.
        std::fprintf(stderr,
                     "ScriptedDialogs: more than %d message boxes nobody expected; the test stops.\n%s",
                     kMaxUnexpected, Transcript().c_str());
        std::fflush(stderr);
        std::abort();
    }
    return r.answer;
}

int ScriptedDialogs::Waiting(const MessageRequest& request, const std::function<bool()>& over) {
    if (auto meanwhile = whileShown) meanwhile(request);
    Record r{request, 0, true};
    if (waitAnswers_.empty()) {
        while (!over()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } else {
        r.answer = waitAnswers_.front();
        waitAnswers_.pop_front();
        if (r.answer == kEscape || r.answer == kCloseBox) r.answer = EscapeAnswer(request.buttons);
    }
    waits.push_back(r);
    return r.answer;
}

FileAnswer ScriptedDialogs::File(const FileRequest& request) {
    files.push_back(request);
    if (whileFileShown) whileFileShown(request);
    if (fileAnswers_.empty()) return FileAnswer{0, {}, {}};
    FileAnswer a = fileAnswers_.front();
    fileAnswers_.pop_front();
    return a;
}

int ScriptedDialogs::Unexpected() const {
    return static_cast<int>(clearedUnexpected_.size()) +
           static_cast<int>(
               std::count_if(messages.begin(), messages.end(), [](const Record& r) { return !r.expected; }));
}

std::string ScriptedDialogs::Transcript() const {
    std::string out;
    auto line = [&out](const Record& r) {
        out += r.request.title + ": " + r.request.text + (r.expected ? "" : "  (unexpected)") +
               (r.ignored > 0 ? "  (ignored Esc/close " + std::to_string(r.ignored) + ")\n" : "\n");
    };
    for (const auto& r : clearedUnexpected_) line(r);
    if (!clearedUnexpected_.empty()) out += "-- cleared; since then:\n";
    for (const auto& r : messages) line(r);
    if (droppedAnswers_ > 0) out += std::to_string(droppedAnswers_) + " answer(s) cleared unused\n";
    return out;
}

void ScriptedDialogs::Clear() {
    for (const auto& r : messages)
        if (!r.expected) clearedUnexpected_.push_back(r);
    droppedAnswers_ += static_cast<int>(answers_.size() + waitAnswers_.size());
    messages.clear();
    waits.clear();
    waitAnswers_.clear();
    files.clear();
    helps.clear();
    links.clear();
    answers_.clear();
    fileAnswers_.clear();
}

}  // namespace rt
