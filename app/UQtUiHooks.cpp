#include "app/UQtUiHooks.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

namespace qm {

namespace {

struct TButtonMap {
    unsigned Flag;
    QMessageBox::StandardButton Button;
    TDialogResult Result;
};

constexpr TButtonMap kButtons[] = {
    {mbOK, QMessageBox::Ok, idOk},
    {mbCancel, QMessageBox::Cancel, idCancel},
    {mbYes, QMessageBox::Yes, idYes},
    {mbNo, QMessageBox::No, idNo},
    {mbAbort, QMessageBox::Abort, idAbort},
    {mbRetry, QMessageBox::Retry, idRetry},
    {mbIgnore, QMessageBox::Ignore, idIgnore},
};

QMessageBox::Icon QtIcon(TMsgIcon Icon) {
    switch (Icon) {
        case miInformation:
            return QMessageBox::Information;
        case miWarning:
            return QMessageBox::Warning;
        case miError:
            return QMessageBox::Critical;
        case miQuestion:
            return QMessageBox::Question;
        case miNone:
            break;
    }
    return QMessageBox::NoIcon;
}

void ConfigureFileDialog(QFileDialog& Dialog, const TFileDialogOptions& Options,
                         const std::string& FileName) {
    Dialog.setWindowTitle(QString::fromStdString(Options.Title));
    if (!Options.Filter.empty()) Dialog.setNameFilters(QtFileFilter(Options.Filter).split(";;"));
    if (!Options.DefaultSuffix.empty())
        Dialog.setDefaultSuffix(QString::fromStdString(Options.DefaultSuffix));
    if (!Options.InitialDir.empty())
        Dialog.setDirectory(QString::fromStdString(Options.InitialDir));
    if (!FileName.empty()) Dialog.selectFile(QString::fromStdString(FileName));
}

}  // namespace

QString MessageText(const std::string& Text) {
    QString text = QString::fromStdString(Text);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString QtFileFilter(const std::string& Filter) {
    QStringList parts = QString::fromStdString(Filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(')))
            description += QStringLiteral(" (") + patterns + QLatin1Char(')');
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

TQtUiHooks::~TQtUiHooks() {
    while (FBusy > 0) SetBusyCursor(false);
}

TDialogResult TQtUiHooks::MessageBox(const std::string& Title, const std::string& Text,
                                     TMsgIcon Icon, unsigned Buttons, TDialogResult DefaultButton) {
    std::string trace = MessageBoxTrace(Title, Text) + "\n";
    std::fwrite(trace.data(), 1, trace.size(), stderr);
    std::fflush(stderr);
    if (FAnswerAtOnce) return DefaultButton == idNone ? idOk : DefaultButton;

    QMessageBox box(QtIcon(Icon), MessageText(Title), MessageText(Text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    for (const TButtonMap& b : kButtons) {
        if (!(Buttons & b.Flag)) continue;
        box.addButton(b.Button);
        if (b.Result == DefaultButton) box.setDefaultButton(b.Button);
    }
    if (box.buttons().isEmpty()) box.addButton(QMessageBox::Ok);
    int pressed = box.exec();
    for (const TButtonMap& b : kButtons)
        if (pressed == b.Button) return b.Result;
    // Closed without a button (Esc or the title bar): Cancel when offered, else No, else OK.
    if (Buttons & mbCancel) return idCancel;
    if (Buttons & mbNo) return idNo;
    return idOk;
}

void TQtUiHooks::ProcessMessages() {
    const auto now = std::chrono::steady_clock::now();
    if (FProcessedOnce && FProcessInterval.count() > 0 && now - FLastProcessed < FProcessInterval)
        return;
    FProcessedOnce = true;
    FLastProcessed = now;
    QCoreApplication::processEvents();
    if (OnProcessedMessages) OnProcessedMessages();
}

bool TQtUiHooks::OpenFileDialog(const TFileDialogOptions& Options, std::string& FileName) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    ConfigureFileDialog(dialog, Options, FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().first().toStdString();
    return true;
}

bool TQtUiHooks::SaveFileDialog(const TFileDialogOptions& Options, std::string& FileName) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !Options.OverwritePrompt);
    ConfigureFileDialog(dialog, Options, FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    FileName = dialog.selectedFiles().first().toStdString();
    return true;
}

bool TQtUiHooks::SelectFolderDialog(const std::string& Title, std::string& Folder) {
    QString chosen = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                       QString::fromStdString(Title),
                                                       QString::fromStdString(Folder));
    if (chosen.isEmpty()) return false;
    Folder = chosen.toStdString();
    return true;
}

void TQtUiHooks::SetBusyCursor(bool Busy) {
    if (Busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++FBusy;
    } else if (FBusy > 0) {
        QApplication::restoreOverrideCursor();
        --FBusy;
    }
}

}  // namespace qm
