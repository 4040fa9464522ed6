// The item dialog: adds a file types list ("Add") or edits one ("Edit"), checking on OK that
// name and masks are not empty and that the name is not taken by another list.
#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qm {

class TDlgFileTypesListItem : public QDialog {
    Q_OBJECT

  public:
    explicit TDlgFileTypesListItem(QWidget* Parent = nullptr);

    // Runs whenever the dialog is about to close with result Accepted (OK or Enter): trims
    // both edits (writing the trimmed texts back) and raises "Invalid file type list." or
    // "File type list \"%s\" already exists." to refuse the close.
    void FormCloseQuery();

    QFrame* Bevel1;
    QLabel* Label1;
    QLineEdit* edName;
    QLabel* txtOldName;
    QLabel* Label2;
    QLineEdit* edFileMasks;
    QLabel* Label3;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

  public slots:
    // A refused close shows its message in the error box and keeps the dialog open.
    void done(int Result) override;

  protected:
    void showEvent(QShowEvent* Event) override;
};

// Runs the item dialog over the lists dialog. In: the list to edit, or an empty Name to add
// one. Out: the confirmed (trimmed) texts, or an empty Name when nothing is to change (Masks
// is then undefined).
void EditFileTypesListItem(std::string& Name, std::string& Masks);

// Leading and trailing spaces and control characters (codes up to 32) removed.
std::string TrimControls(const std::string& Text);

}  // namespace qm
