#include "runtime/database/transaction_waiter.h"

#include <condition_variable>
#include <optional>
#include <utility>

#include "runtime/platform/os.h"

namespace rt::tx {

WaitSettings& Waiting() {
    static WaitSettings settings;
    return settings;
}

// Runs the driver's calls on a thread of its own while the caller waits for them. One call at a
// time: the caller waits until the call is done, or until the user gives it up, after which the
// waiter takes no other call.
class Waiter {
  public:
    Waiter() = default;
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;
    ~Waiter() {
        {
            const std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    CallWatch::Ended Run(std::function<void()> job, const WaitSettings& settings,
                         const std::function<void()>& cancel, std::exception_ptr& thrown) {
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
        const auto began = std::chrono::steady_clock::now();
        std::unique_lock lock(m_);
        job_ = std::move(job);
        done_ = false;
        error_ = nullptr;
        cv_.notify_all();
        std::exception_ptr hookError;
        if (!cv_.wait_for(lock, settings.patience, [this] { return done_; })) {
            lock.unlock();
            // The job owns what it works on, so the caller may go once the user gives it up; until
            // then it is waited for, whatever the hook does, throwing included.
            try {
                View view(*this, began, cancel);
                settings.hook(view);
            } catch (...) {
                hookError = std::current_exception();
            }
            lock.lock();
            cv_.wait(lock, [this] { return done_ || givenUp_; });
        }
        thrown = givenUp_ ? hookError : (error_ ? error_ : hookError);
        error_ = nullptr;
        return givenUp_ ? CallWatch::Ended::GivenUp : CallWatch::Ended::Done;
    }

  private:
    // The call as the hook sees it.
    class View final : public TransactionWait {
      public:
        View(Waiter& waiter, std::chrono::steady_clock::time_point began, const std::function<void()>& cancel)
            : waiter_(waiter), began_(began), cancel_(cancel) {}

        bool Over(std::chrono::milliseconds slice) override {
            std::unique_lock lock(waiter_.m_);
            return waiter_.cv_.wait_for(lock, slice, [this] { return waiter_.done_ || waiter_.givenUp_; });
        }
        std::chrono::steady_clock::duration Elapsed() const override {
            return std::chrono::steady_clock::now() - began_;
        }
        void Cancel() override {
            {
                const std::lock_guard lock(waiter_.m_);
                if (waiter_.done_ || waiter_.givenUp_) return;
                waiter_.givenUp_ = true;
            }
            waiter_.cv_.notify_all();
            cancel_();
        }

      private:
        Waiter& waiter_;
        std::chrono::steady_clock::time_point began_;
        const std::function<void()>& cancel_;
    };

    void Loop() {
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || job_.has_value(); });
            if (!job_) return;
            std::function<void()> job = std::move(*job_);
            job_.reset();
            lock.unlock();
            std::exception_ptr error;
            try {
                job();
            } catch (...) {
                error = std::current_exception();
            }
            // What the job holds goes here, on its own thread, before the caller hears of the end.
            job = nullptr;
            lock.lock();
            error_ = error;
            done_ = true;
            cv_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::optional<std::function<void()>> job_;
    bool done_ = false;
    bool givenUp_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

CallWatch::CallWatch() = default;

CallWatch::~CallWatch() {
    Stop();
}

void CallWatch::Stop() {
    if (os::ProcessEnding()) {
        // Its threads were stopped where they stood: waking them or waiting for them would wait
        // forever, and the process's end takes what they held.
        static_cast<void>(waiter_.release());
        if (canceller_.joinable()) canceller_.detach();
        return;
    }
    waiter_.reset();
    if (canceller_.joinable()) canceller_.join();
}

CallWatch::Ended CallWatch::Run(std::function<void()> job, std::exception_ptr& thrown) {
    thrown = nullptr;
    if (cancelled_) return Ended::GivenUp;  // a connection given up serves nothing more
    const WaitSettings& settings = Waiting();
    if (!settings.hook) {
        try {
            job();
        } catch (...) {
            thrown = std::current_exception();
        }
        return Ended::Done;
    }
    if (!waiter_) waiter_ = std::make_unique<Waiter>();
    const Ended ended = waiter_->Run(
        std::move(job), settings, [this] { Cancel(); }, thrown);
    // The job is done, so a cancel still under way has nothing left to reach.
    if (ended == Ended::Done && canceller_.joinable()) canceller_.join();
    return ended;
}

void CallWatch::CancelThrough(SQLHSTMT idle) {
    const std::lock_guard lock(runningGuard_);
    idle_ = idle;
}

void CallWatch::Cancel() {
    cancelled_ = true;
    if (cancelling_) return;
    if (canceller_.joinable()) canceller_.join();
    cancelling_ = true;
    canceller_ = std::thread([this] {
        {
            const std::lock_guard lock(runningGuard_);
            if (running_ != nullptr)
                SQLCancel(running_);
            else if (idle_ != nullptr)
                SQLCancel(idle_);
        }
        cancelling_ = false;
    });
}

CallWatch::Executing::Executing(CallWatch& watch, SQLHSTMT stmt) : watch_(watch) {
    const std::lock_guard lock(watch_.runningGuard_);
    watch_.running_ = stmt;
}

CallWatch::Executing::~Executing() {
    const std::lock_guard lock(watch_.runningGuard_);
    watch_.running_ = nullptr;
}

}  // namespace rt::tx
