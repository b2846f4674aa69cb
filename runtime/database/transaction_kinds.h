#pragma once
// What the transaction (transaction.h) shares with its parts: the losses a transaction suffers, a
// call that keeps the program waiting as the program sees it, and a value read in a form of its
// own. The parts report what happened in these terms; the transaction alone turns it into its
// SQLCode and friends, and tells the program's hooks.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace rt {

// Why a transaction was lost, as the program's hook hears of it (see Transaction::OnTransactionLost).
enum class TransactionLoss {
    ConnectionRestored,  // the connection went and is made again
    ConnectionDown,      // the connection went and cannot be made again now
    GivenUp,             // the user gave up a call that kept him waiting
    DiskFull,            // the database cannot write: its disk is full
    DiskFailed,          // the database cannot read or write its file
    FileGone,            // the database's file was deleted or moved away
    FileReadOnly,        // the database's file, or its folder, cannot be written
};

// A value read whose text, as the database holds it, is not the value's own text (ToText): a date
// that another program stored with a time of day, a number stored with other digits. Row and
// column count from 0.
struct StoredText {
    std::size_t row = 0;
    std::size_t column = 0;
    std::string text;
};

// A call that keeps the calling thread waiting on the database (another program holds a lock, the
// server is slow to answer or does not answer at all), as the program sees it meanwhile.
class TransactionWait {
  public:
    // Waits at most `slice` for the call to return; true once it has.
    virtual bool Over(std::chrono::milliseconds slice) = 0;
    // Since the call began.
    virtual std::chrono::steady_clock::duration Elapsed() const = 0;
    // Gives the call up, for good: the call is over for the caller at once, and fails; the
    // transaction is lost with it (see Transaction::OnTransactionLost). The connection it runs on
    // is let go: the database is asked to give up what it does, and to end the connection's
    // session, which is closed, rolling back whatever it held, once the call returns there.
    // Harmless when said twice, or once the call is over.
    virtual void Cancel() = 0;

  protected:
    ~TransactionWait() = default;
};

// Shown a call that keeps the program waiting (see Transaction::SetWaitHook).
using TransactionWaitHook = std::function<void(TransactionWait& wait)>;

}  // namespace rt
