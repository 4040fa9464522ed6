#include "foldertree/ShellChangeQueue.h"

#include <QFile>
#include <QMetaObject>

namespace qm {
namespace {

inline constexpr int kMountPollMs = 2000;

QByteArray ReadMountTable() {
    QFile table(QStringLiteral("/proc/self/mounts"));
    return table.open(QIODevice::ReadOnly) ? table.readAll() : QByteArray();
}

}  // namespace

TShellChangeQueue::TShellChangeQueue(TProcess Process, QObject* Parent)
    : QObject(Parent), FProcess(std::move(Process)) {
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this,
            [this](const QString& folder) { Post(folder); });
    FMountTimer.setInterval(kMountPollMs);
    connect(&FMountTimer, &QTimer::timeout, this, &TShellChangeQueue::PollMounts);
}

void TShellChangeQueue::Watch(const QString& Folder) {
    int& count = FRefs[Folder];
    if (count++ == 0) FWatcher.addPath(Folder);
}

void TShellChangeQueue::Unwatch(const QString& Folder) {
    auto it = FRefs.find(Folder);
    if (it == FRefs.end()) return;
    if (--*it == 0) {
        FRefs.erase(it);
        FWatcher.removePath(Folder);
    }
}

void TShellChangeQueue::Clear() {
    if (!FWatcher.directories().isEmpty()) FWatcher.removePaths(FWatcher.directories());
    FRefs.clear();
    FPending.clear();
    FMountTimer.stop();
}

bool TShellChangeQueue::Post(const QString& Folder) {
    if (FPending.contains(Folder)) return true;
    if (FPending.size() >= kMaxPendingChanges) return false;
    FPending.append(Folder);
    if (!FPosted) {
        FPosted = true;
        QMetaObject::invokeMethod(this, &TShellChangeQueue::ProcessPending, Qt::QueuedConnection);
    }
    return true;
}

void TShellChangeQueue::WatchMounts(const QString& MountsKey, bool On) {
    FMountsKey = MountsKey;
    if (On && !FMountTimer.isActive()) {
        FMountTable = ReadMountTable();
        FMountTimer.start();
    } else if (!On) {
        FMountTimer.stop();
    }
}

void TShellChangeQueue::PollMounts() {
    QByteArray table = ReadMountTable();
    if (table == FMountTable) return;
    FMountTable = table;
    Post(FMountsKey);
}

void TShellChangeQueue::ProcessPending() {
    FPosted = false;
    QStringList batch;
    batch.swap(FPending);
    if (!batch.isEmpty() && FProcess) FProcess(batch);
}

}  // namespace qm
