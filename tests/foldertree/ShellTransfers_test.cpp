// Transfers on the worker: progress and the end arrive on the receiver's thread in order, and a
// receiver destroyed before the end hears nothing while the work still runs to its end.
#include <QApplication>
#include <QObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "foldertree/ShellTransfers.h"

namespace qm::test {

class ShellTransfersTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void progressAndTheEndArriveOnTheReceiversThread() {
        QObject receiver;
        TShellTransfers transfers(&receiver);
        std::promise<void> gate;
        std::shared_future<void> open = gate.get_future().share();
        std::vector<int> seen;
        bool finished = false, finishedOk = false;
        QString finishedError;
        QThread* const gui = QThread::currentThread();
        transfers.Start(
            [open](QString& Error, const TShellTransfers::TProgress& Progress) {
                open.wait();
                for (int done = 1; done <= 3; ++done) Progress(done, 3);
                Error = QStringLiteral("one item was refused");
                return false;
            },
            [&](int Done, int Total) {
                QCOMPARE(QThread::currentThread(), gui);
                QCOMPARE(Total, 3);
                seen.push_back(Done);
            },
            [&](bool Done, const QString& Error) {
                QCOMPARE(QThread::currentThread(), gui);
                finished = true;
                finishedOk = Done;
                finishedError = Error;
            });
        QCOMPARE(transfers.Running(), 1);
        gate.set_value();
        QTRY_VERIFY(finished);
        QCOMPARE(transfers.Running(), 0);
        QCOMPARE(seen, (std::vector<int>{1, 2, 3}));
        QVERIFY(!finishedOk);
        QCOMPARE(finishedError, QStringLiteral("one item was refused"));
    }

    void aReceiverGoneBeforeTheEndHearsNothing() {
        std::promise<void> gate;
        std::shared_future<void> open = gate.get_future().share();
        auto workEnded = std::make_shared<std::atomic<bool>>(false);
        bool heard = false;
        {
            QObject receiver;
            TShellTransfers transfers(&receiver);
            transfers.Start(
                [open, workEnded](QString&, const TShellTransfers::TProgress& Progress) {
                    open.wait();
                    Progress(1, 1);
                    workEnded->store(true);
                    return true;
                },
                [&](int, int) { heard = true; }, [&](bool, const QString&) { heard = true; });
        }
        gate.set_value();
        QTRY_VERIFY(workEnded->load());
        // Whatever the worker posted after that is processed (or dropped) by now.
        QCoreApplication::processEvents();
        QVERIFY(!heard);
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::ShellTransfersTest)
#include "ShellTransfers_test.moc"
