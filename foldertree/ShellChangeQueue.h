// Watches the folders whose children a tree shows and hands their changes to the tree in
// batches. A change names only the folder that changed; the tree reads that folder again.
//
// Changes wait in a short queue that is handled together from the event loop. At most
// kMaxPendingChanges folders wait at a time; a change beyond that is dropped (a folder that is
// already waiting counts once).
#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace qm {

inline constexpr int kMaxPendingChanges = 5;

class TShellChangeQueue : public QObject {
    Q_OBJECT

  public:
    using TProcess = std::function<void(const QStringList& ChangedFolders)>;

    explicit TShellChangeQueue(TProcess Process, QObject* Parent = nullptr);

    // Reference-counted: a folder shown by two nodes is watched once and released by both.
    void Watch(const QString& Folder);
    void Unwatch(const QString& Folder);
    // Stops every watch and forgets what is waiting.
    void Clear();
    // Queues a change of Folder (the watcher's changes arrive here too). Returns false when the
    // change was dropped because the queue is full.
    bool Post(const QString& Folder);
    // Polls the mount table and posts MountsKey whenever it changes (file systems mounted or
    // unmounted); the mount table cannot be watched like a folder.
    void WatchMounts(const QString& MountsKey, bool On);

    int Pending() const { return int(FPending.size()); }
    bool IsWatched(const QString& Folder) const { return FRefs.contains(Folder); }

  private:
    void ProcessPending();
    void PollMounts();

    TProcess FProcess;
    QFileSystemWatcher FWatcher;
    QHash<QString, int> FRefs;
    QStringList FPending;
    bool FPosted = false;
    QTimer FMountTimer;
    QByteArray FMountTable;
    QString FMountsKey;
};

}  // namespace qm
