// The lists dialog: shows every file types list sorted by name and lets the user add, edit and
// delete them. It reads the lists from the settings file when it is shown and writes them all
// back when it closes, whichever way it is closed; there is no cancel.
#pragma once

#include <QDialog>
#include <exception>
#include <string>
#include <vector>

#include "app/UFileTypesListsSettings.h"

class QAction;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm {

class TDlgFileTypesLists : public QDialog {
    Q_OBJECT

  public:
    explicit TDlgFileTypesLists(QWidget* Parent = nullptr);

    void FormShow();
    // Writes the section; raises the settings file's write error.
    void FormClose();
    void ActNewExecute();
    void ActEditExecute();
    void ActDeleteExecute();
    // The idle-time update: Edit and Delete are enabled exactly when a row is selected.
    void ActNewUpdate();
    void ListView1DblClick();

    // The rows in their (sorted) order.
    std::vector<TFileTypesList> Rows() const;
    // The error the save raised when the dialog closed, if any.
    std::exception_ptr CloseError() const { return FCloseError; }

    QTreeWidget* ListView1;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* OKBtn;
    QAction* ActNew;
    QAction* ActEdit;
    QAction* ActDelete;

  public slots:
    void done(int Result) override;

  protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    QTreeWidgetItem* SelectedRow() const;
    void AddRow(const std::string& Name, const std::string& Masks);
    // Moves Row to its place in the order by name, keeping it selected.
    void PlaceRow(QTreeWidgetItem* Row);

    bool FShown = false;
    std::exception_ptr FCloseError;
};

// The lists dialog while it exists (inside ShowFileTypesListsDialog), else nullptr.
extern TDlgFileTypesLists* DlgFileTypesLists;

// Creates the lists dialog, shows it modally and frees it, however it ends. Raises the error
// of the save at its close, after it is freed.
void ShowFileTypesListsDialog(QWidget* Parent = nullptr);

// Whether a row of the lists dialog has Name, without regard to ASCII letter case.
bool FileTypesListExists(const std::string& Name);

// The rows' order: locale-aware and case-sensitive; names the collation cannot tell apart are
// ordered by their characters.
bool FileTypesListNameLess(const QString& A, const QString& B);

}  // namespace qm
