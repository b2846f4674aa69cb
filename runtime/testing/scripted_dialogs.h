#pragma once
// A dialog service for tests: records every request and answers from a queue. A message box that
// arrives with no answer queued is recorded as unexpected and answered with its default button,
// so a test can assert that none came; past kMaxUnexpected of them the test process stops with the
// transcript, since steps that never settle would otherwise go on answering boxes until the test
// runner's timeout, with nothing to show why. A queued Esc or close-box answer does what it does on
// screen: the box's EscapeAnswer, or nothing on a box without a way out, which then takes the next
// answer.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/dialogs.h"

namespace rt {

class ScriptedDialogs : public DialogService {
  public:
    struct Record {
        MessageRequest request;
        int answer = 0;
        bool expected = true;
        int ignored = 0;  // Esc presses and close-box clicks the box took no notice of
    };

    // The user pressing Esc, or clicking the box's close box, in place of a button.
    static constexpr int kEscape = -1;
    static constexpr int kCloseBox = -2;
    // Boxes nobody expected that are answered, since the service was made, before it gives up.
    static constexpr int kMaxUnexpected = 5;

    // Answers for the next message boxes, in order.
    void Answer(int answer) { answers_.push_back(answer); }
    // Answers for the next file dialogs, in order.
    void AnswerFile(FileAnswer answer) { fileAnswers_.push_back(std::move(answer)); }
    // Answers for the next boxes that show a wait, in order: the user presses the button (or Esc,
    // or the close box) while the box is on show. A wait box that finds none queued goes by itself
    // once the wait is over, as it does when nobody is at the desk.
    void AnswerWait(int answer) { waitAnswers_.push_back(answer); }
    // Run while each message box or wait box is on show, before it is answered: what the user
    // could do meanwhile.
    std::function<void(const MessageRequest&)> whileShown;
    // The same while each file dialog is on show.
    std::function<void(const FileRequest&)> whileFileShown;

    int Message(const MessageRequest& request) override;
    int Waiting(const MessageRequest& request, const std::function<bool()>& over) override;
    FileAnswer File(const FileRequest& request) override;
    void Help(const std::string& path) override { helps.push_back(path); }
    void Link(const std::string& url) override { links.push_back(url); }

    // Everything seen, in order.
    std::vector<Record> messages;
    std::vector<Record> waits;  // answer 0: the box went by itself
    std::vector<FileRequest> files;
    std::vector<std::string> helps;
    std::vector<std::string> links;

    // Boxes that came with no answer queued, and answers queued for boxes that never came, since
    // the service was made: Clear() does not forget them.
    int Unexpected() const;
    int PendingAnswers() const {
        return static_cast<int>(answers_.size() + waitAnswers_.size()) + droppedAnswers_;
    }
    // "title: text" of every box, one per line, for failure output; the unexpected boxes that
    // Clear() took away come first.
    std::string Transcript() const;
    // Forgets the boxes, dialogs and answers of the steps the test has looked at, so that the next
    // step starts afresh. A test that wants boxes says so by queuing their answers: an unexpected
    // box, or an answer left unused, stays counted so that the test still fails on it.
    void Clear();

  private:
    std::deque<int> answers_;
    std::deque<int> waitAnswers_;
    std::deque<FileAnswer> fileAnswers_;
    std::vector<Record> clearedUnexpected_;
    int droppedAnswers_ = 0;
};

}  // namespace rt
