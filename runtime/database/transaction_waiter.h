#pragma once
// For the transaction's own use: the calls of a connection that may keep the caller waiting on the
// database, shown to the program while they wait, and given up when the user says so.

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "runtime/database/transaction_kinds.h"
#include "runtime/platform/odbc.h"

namespace rt::tx {

// What Transaction::SetWaitHook installed: process-wide.
struct WaitSettings {
    TransactionWaitHook hook;
    std::chrono::milliseconds patience{150};
};
WaitSettings& Waiting();

class Waiter;

// The calls of one connection, one at a time. A call runs on the calling thread while nobody is to
// be told of waits; otherwise on a thread of its own while the caller waits for it, so that a call
// that keeps the caller waiting can be shown on the caller's thread, the only one that may show it,
// and given up there.
class CallWatch {
  public:
    CallWatch();
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    enum class Ended {
        Done,     // the job ran to its end
        GivenUp,  // the user gave the call up first: the caller goes on without it, while the job
                  // runs on alone on the connection, which nobody may use for anything else again
    };
    // Runs `job`, which must work only on what it owns or what outlives the connection. What the
    // job threw (when done) or the wait hook threw goes to `thrown`, for the caller to pass on.
    Ended Run(std::function<void()> job, std::exception_ptr& thrown);

    // The call under way, or the last one, was given up: it starts no further statement.
    bool Cancelled() const { return cancelled_; }

    // Publishes the statement that executes, for a cancel to reach while it lives. Only while it
    // executes may a statement be cancelled from the calling thread: a driver cancels a statement
    // that does something else by closing it, which would race with the thread that runs it.
    class Executing {
      public:
        Executing(CallWatch& watch, SQLHSTMT stmt);
        ~Executing();
        Executing(const Executing&) = delete;
        Executing& operator=(const Executing&) = delete;

      private:
        CallWatch& watch_;
    };

    // A statement of the connection that does nothing else, through which a cancel reaches a call
    // that runs no statement of its own (a COMMIT kept waiting on SQLite's locks). It must outlive
    // every call; none by default.
    void CancelThrough(SQLHSTMT idle);

    // Waits for the job under way, ends the waiter's thread and waits for a cancel still under way,
    // so that nothing reaches the connection's handles once they go. Run may not be called again.
    void Stop();

  private:
    // Marks the call given up and asks the database to give up what the connection does.
    void Cancel();

    // The statement is cancelled on a thread of its own: a driver may have to reach the server to
    // ask (PostgreSQL's connects to it), which takes as long as a broken network makes it, and the
    // calling thread must go on meanwhile. The statement outlives the cancel: it is let go only
    // once the guard is free.
    std::mutex runningGuard_;
    SQLHSTMT running_ = nullptr;
    SQLHSTMT idle_ = nullptr;
    std::atomic<bool> cancelled_ = false;
    std::atomic<bool> cancelling_ = false;
    std::thread canceller_;
    // Made on the first call that is watched.
    std::unique_ptr<Waiter> waiter_;
};

}  // namespace rt::tx
