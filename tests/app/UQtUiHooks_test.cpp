// The Qt message box: what it shows, what it answers and its trace on standard error.
#include <unistd.h>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <cstdio>

#include "app/UErrorBox.h"
#include "app/UQtUiHooks.h"
#include "platform/Exception.h"
#include "support/CaptureStderr.h"
#include "support/TestDir.h"

namespace qm {

namespace {

using test::TCaptureStderr;

struct TSeenBox {
    QString Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> Buttons;
    QMessageBox::StandardButton Default = QMessageBox::NoButton;
};

// Records the next message box and presses Press in it (or closes it when NoButton).
void AnswerBox(TSeenBox& Seen, QMessageBox::StandardButton Press) {
    QTimer::singleShot(0, [&Seen, Press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        Seen.Title = box->windowTitle();
        Seen.Text = box->text();
        Seen.Icon = box->icon();
        for (QAbstractButton* b : box->buttons()) Seen.Buttons << box->standardButton(b);
        std::sort(Seen.Buttons.begin(), Seen.Buttons.end());
        if (box->defaultButton()) Seen.Default = box->standardButton(box->defaultButton());
        if (Press == QMessageBox::NoButton)
            box->reject();
        else
            box->button(Press)->click();
    });
}

}  // namespace

class TQtUiHooksTest : public QObject {
    Q_OBJECT

  private slots:
    void messageBoxShowsAndAnswers() {
        test::TestDir dir;
        TQtUiHooks hooks;
        TSeenBox seen;
        AnswerBox(seen, QMessageBox::No);
        TCaptureStderr capture(dir / "stderr");
        TDialogResult result =
            hooks.MessageBox("Confirm", "Delete \"A\"?\rsure", miQuestion, mbYes | mbNo, idYes);
        QCOMPARE(result, idNo);
        QCOMPARE(capture.Text(), std::string("Confirm: Delete \"A\"?\nsure\n"));
        QCOMPARE(seen.Title, QStringLiteral("Confirm"));
        QCOMPARE(seen.Text, QStringLiteral("Delete \"A\"?\nsure"));
        QCOMPARE(seen.Icon, QMessageBox::Question);
        QCOMPARE(seen.Buttons, (QList{QMessageBox::Yes, QMessageBox::No}));
        QCOMPARE(seen.Default, QMessageBox::Yes);
    }

    void closedBoxAnswersCancelOrNo() {
        test::TestDir dir;
        TQtUiHooks hooks;
        TSeenBox seen;
        TCaptureStderr capture(dir / "stderr");
        AnswerBox(seen, QMessageBox::NoButton);
        QCOMPARE(hooks.MessageBox("Q", "t", miWarning, mbYes | mbNo | mbCancel, idNo), idCancel);
        QCOMPARE(seen.Default, QMessageBox::No);
        QCOMPARE(seen.Icon, QMessageBox::Warning);
        AnswerBox(seen, QMessageBox::NoButton);
        QCOMPARE(hooks.MessageBox("Q", "t", miNone, mbYes | mbNo, idYes), idNo);
    }

    void withoutDisplayBoxesAnswerThemselves() {
        test::TestDir dir;
        TQtUiHooks hooks;
        hooks.SetAnswerAtOnce(true);
        bool shown = false;
        // Were a box shown, this would see it (and close it, so the test cannot hang).
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                shown = true;
                box->close();
            }
        });
        TCaptureStderr capture(dir / "stderr");
        QCOMPARE(hooks.MessageBox("Confirm", "Cancel back-up?", miQuestion, mbYes | mbNo, idNo),
                 idNo);
        QCOMPARE(hooks.MessageBox("Back-Up Complete", "a\rb", miInformation, mbOK, idOk), idOk);
        QCOMPARE(capture.Text(), std::string("Confirm: Cancel back-up?\nBack-Up Complete: a\nb\n"));
        QCoreApplication::processEvents();
        QVERIFY(!shown);

        // The idle-time hook runs after each round of pending events; rounds come at most once
        // per interval.
        int idle = 0;
        hooks.OnProcessedMessages = [&] { ++idle; };
        hooks.SetProcessInterval(std::chrono::hours(1));
        hooks.ProcessMessages();
        hooks.ProcessMessages();
        QCOMPARE(idle, 1);
        hooks.SetProcessInterval(std::chrono::microseconds(0));
        hooks.ProcessMessages();
        hooks.ProcessMessages();
        QCOMPARE(idle, 3);
    }

    void errorBoxGoesThroughTheHooks() {
        test::TestDir dir;
        TQtUiHooks hooks;
        TUiHooks* previous = SetUiHooks(&hooks);
        TSeenBox seen;
        AnswerBox(seen, QMessageBox::Ok);
        TCaptureStderr capture(dir / "stderr");
        bool ok = RunGuarded([] { throw Exception("Unable to write to /x/QMApps.ini"); });
        std::string trace = capture.Text();
        SetUiHooks(previous);
        QVERIFY(!ok);
        QCOMPARE(trace, std::string("Error: Unable to write to /x/QMApps.ini\n"));
        QCOMPARE(seen.Title, QStringLiteral("Error"));
        QCOMPARE(seen.Icon, QMessageBox::Critical);
        QCOMPARE(seen.Buttons, QList{QMessageBox::Ok});
    }

    void fileFiltersInQtForm() {
        QCOMPARE(QtFileFilter("ZIP files (*.zip)|*.zip|All files (*.*)|*.*"),
                 QStringLiteral("ZIP files (*.zip);;All files (*.*)"));
        QCOMPARE(QtFileFilter("Texts|*.txt;*.log"), QStringLiteral("Texts (*.txt *.log)"));
    }
};

}  // namespace qm

QTEST_MAIN(qm::TQtUiHooksTest)
#include "UQtUiHooks_test.moc"
