#include "runtime/transaction_waiter.h"

#include <condition_variable>
#include <exception>
#include <utility>

namespace rt::tx {

WaitSettings& Waiting() {
    static WaitSettings settings;
    return settings;
}

// Runs the driver's calls on a thread of its own while the caller waits for them. One call at a
// time: the caller always waits.
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

    void Run(const std::function<void()>& job, const WaitSettings& settings,
             const std::function<void()>& cancel) {
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
        const auto began = std::chrono::steady_clock::now();
        std::unique_lock lock(m_);
        job_ = &job;
        done_ = false;
        error_ = nullptr;
        cv_.notify_all();
        if (!cv_.wait_for(lock, settings.patience, [this] { return done_; })) {
            lock.unlock();
            // The job works on the caller's frame: whatever the hook does, throwing included, the
            // call is waited for before that frame can go.
            std::exception_ptr hookError;
            try {
                View view(*this, began, cancel);
                settings.hook(view);
            } catch (...) {
                hookError = std::current_exception();
            }
            lock.lock();
            cv_.wait(lock, [this] { return done_; });
            if (!error_) error_ = hookError;
        }
        const std::exception_ptr error = std::exchange(error_, nullptr);
        lock.unlock();
        if (error) std::rethrow_exception(error);
    }

  private:
    // The call as the hook sees it.
    class View final : public Transaction::Wait {
      public:
        View(Waiter& waiter, std::chrono::steady_clock::time_point began, const std::function<void()>& cancel)
            : waiter_(waiter), began_(began), cancel_(cancel) {}

        bool Over(std::chrono::milliseconds slice) override {
            std::unique_lock lock(waiter_.m_);
            return waiter_.cv_.wait_for(lock, slice, [this] { return waiter_.done_; });
        }
        std::chrono::steady_clock::duration Elapsed() const override {
            return std::chrono::steady_clock::now() - began_;
        }
        void Cancel() override { cancel_(); }

      private:
        Waiter& waiter_;
        std::chrono::steady_clock::time_point began_;
        const std::function<void()>& cancel_;
    };

    void Loop() {
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || job_ != nullptr; });
            if (stop_) return;
            const std::function<void()>* job = std::exchange(job_, nullptr);
            lock.unlock();
            std::exception_ptr error;
            try {
                (*job)();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            error_ = error;
            done_ = true;
            cv_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

CallWatch::CallWatch() = default;

CallWatch::~CallWatch() {
    Stop();
}

void CallWatch::Stop() {
    waiter_.reset();
    if (canceller_.joinable()) canceller_.join();
}

void CallWatch::Run(const std::function<void()>& job) {
    cancelled_ = false;
    const WaitSettings& settings = Waiting();
    if (!settings.hook) {
        job();
        return;
    }
    if (!waiter_) waiter_ = std::make_unique<Waiter>();
    waiter_->Run(job, settings, [this] { Cancel(); });
    // The job is done, so a cancel still under way has nothing left to reach.
    if (canceller_.joinable()) canceller_.join();
}

void CallWatch::Cancel() {
    cancelled_ = true;
    if (cancelling_) return;
    if (canceller_.joinable()) canceller_.join();
    cancelling_ = true;
    canceller_ = std::thread([this] {
        {
            const std::lock_guard lock(runningGuard_);
            if (running_ != nullptr) SQLCancel(running_);
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
