// Copies and moves of dropped items, run on a worker thread so that a large drop never holds
// up the tree. Progress and the end are reported on the receiver's thread; once the receiver
// is destroyed, nothing more is reported to it, while a transfer under way runs to its end
// (stopping half-way would leave a half-copied tree behind).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

namespace qm {

class TShellTransfers {
  public:
    // Done: how many of the sources have been dealt with, of Total.
    using TProgress = std::function<void(int Done, int Total)>;
    // The work itself, run on the worker: true on success, else Error says what failed. It
    // reports progress through the function it is given, from the worker.
    using TWork = std::function<bool(QString& Error, const TProgress& Progress)>;
    using TFinished = std::function<void(bool Done, const QString& Error)>;

    explicit TShellTransfers(QObject* Receiver);
    ~TShellTransfers();
    TShellTransfers(const TShellTransfers&) = delete;
    TShellTransfers& operator=(const TShellTransfers&) = delete;

    // Runs Work on the worker; Progress and Finished are called on the receiver's thread.
    void Start(TWork Work, TProgress Progress, TFinished Finished);
    // Transfers started and not yet reported finished (receiver's thread).
    int Running() const { return FRunning; }

  private:
    struct TState {
        std::mutex Lock;
        QObject* Receiver = nullptr;
    };
    // Calls Call on the receiver's thread, unless the receiver is gone by then.
    static void Post(const std::shared_ptr<TState>& State, std::function<void()> Call);

    std::shared_ptr<TState> FState;
    int FRunning = 0;
};

}  // namespace qm
