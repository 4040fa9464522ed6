// SIGINT, SIGTERM and SIGHUP as Qt signals. The system's handler only writes a byte into a pipe;
// the event loop (also the one a back-up runs while it processes pending events) reads it and emits
// Received on the GUI thread, where the window decides what the signal means.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace qm {

class TSignalNotifier : public QObject {
    Q_OBJECT

  public:
    // Installs the handlers for SIGINT, SIGTERM and SIGHUP; one notifier per process.
    explicit TSignalNotifier(QObject* Parent = nullptr);
    // Restores the default handlers.
    ~TSignalNotifier() override;

  signals:
    void Received(int Signal);

  private:
    void ReadPipe();

    QSocketNotifier* FNotifier = nullptr;
};

}  // namespace qm
