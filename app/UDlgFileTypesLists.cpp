#include "app/UDlgFileTypesLists.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCollator>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <memory>

#include "app/UDlgFileTypesListItem.h"
#include "app/UErrorBox.h"
#include "platform/Exception.h"
#include "platform/ProfileText.h"
#include "platform/UiHooks.h"

namespace qm {

TDlgFileTypesLists* DlgFileTypesLists = nullptr;

namespace {

constexpr int kDesignColumnWidths[] = {100, 165};

QString Text(const std::string& S) {
    return QString::fromStdString(S);
}

// A button that shows its action's caption and enabled state and runs it when clicked.
QPushButton* MakeActionButton(QWidget* Parent, const char* Name, QAction* Action,
                              const QRect& Geometry) {
    auto* button = new QPushButton(Action->text(), Parent);
    button->setObjectName(QString::fromLatin1(Name));
    button->setGeometry(Geometry);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, Action, &QAction::trigger);
    QObject::connect(Action, &QAction::changed, button, [button, Action] {
        button->setText(Action->text());
        button->setEnabled(Action->isEnabled());
    });
    return button;
}

}  // namespace

bool FileTypesListNameLess(const QString& A, const QString& B) {
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseSensitive);
        return c;
    }();
    int order = collator.compare(A, B);
    return order != 0 ? order < 0 : A < B;
}

TDlgFileTypesLists::TDlgFileTypesLists(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("DlgFileTypesLists"));
    setWindowTitle(QStringLiteral("File Types Lists"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(331, 200);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 8, 315, 150);
    ListView1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("File Masks")});
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->header()->setSectionsClickable(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setStretchLastSection(false);
    for (int i = 0; i < 2; ++i) ListView1->setColumnWidth(i, kDesignColumnWidths[i]);
    ListView1->viewport()->installEventFilter(this);

    ActNew = new QAction(QStringLiteral("&New"), this);
    ActNew->setObjectName(QStringLiteral("ActNew"));
    ActEdit = new QAction(QStringLiteral("&Edit"), this);
    ActEdit->setObjectName(QStringLiteral("ActEdit"));
    ActDelete = new QAction(QStringLiteral("&Delete"), this);
    ActDelete->setObjectName(QStringLiteral("ActDelete"));
    connect(ActNew, &QAction::triggered, this, [this] { RunGuarded([this] { ActNewExecute(); }); });
    connect(ActEdit, &QAction::triggered, this,
            [this] { RunGuarded([this] { ActEditExecute(); }); });
    connect(ActDelete, &QAction::triggered, this,
            [this] { RunGuarded([this] { ActDeleteExecute(); }); });

    Button1 = MakeActionButton(this, "Button1", ActNew, QRect(8, 168, 75, 25));
    Button2 = MakeActionButton(this, "Button2", ActEdit, QRect(88, 168, 75, 25));
    Button3 = MakeActionButton(this, "Button3", ActDelete, QRect(168, 168, 75, 25));
    OKBtn = new QPushButton(QStringLiteral("Close"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(248, 168, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    setTabOrder(ListView1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, OKBtn);

    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TDlgFileTypesLists::ActNewUpdate);
}

void TDlgFileTypesLists::showEvent(QShowEvent* Event) {
    if (!FShown) {
        FShown = true;
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        RunGuarded([this] { FormShow(); });
    }
    QDialog::showEvent(Event);
}

void TDlgFileTypesLists::FormShow() {
    std::vector<int> current;
    for (int i = 0; i < ListView1->columnCount(); ++i) current.push_back(ListView1->columnWidth(i));
    std::vector<int> widths = ReadFileTypesListsColumnWidths(current);
    for (size_t i = 0; i < widths.size(); ++i)
        ListView1->setColumnWidth(static_cast<int>(i), widths[i]);
    ListView1->clear();
    for (const TFileTypesList& list : ReadFileTypesLists()) AddRow(list.Name, list.Masks);
    ListView1->setCurrentItem(nullptr);
    ListView1->clearSelection();
    ActNewUpdate();
}

void TDlgFileTypesLists::FormClose() {
    std::vector<int> widths;
    for (int i = 0; i < ListView1->columnCount(); ++i) widths.push_back(ListView1->columnWidth(i));
    WriteFileTypesListsSection(widths, Rows());
}

void TDlgFileTypesLists::done(int Result) {
    // Every way of closing ends here (Close, Enter, Esc, the title bar's close box).
    try {
        FormClose();
    } catch (...) {
        FCloseError = std::current_exception();
    }
    QDialog::done(Result);
}

std::vector<TFileTypesList> TDlgFileTypesLists::Rows() const {
    std::vector<TFileTypesList> rows;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        rows.push_back({row->text(0).toStdString(), row->text(1).toStdString()});
    }
    return rows;
}

QTreeWidgetItem* TDlgFileTypesLists::SelectedRow() const {
    QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void TDlgFileTypesLists::AddRow(const std::string& Name, const std::string& Masks) {
    auto* row = new QTreeWidgetItem({Text(Name), Text(Masks)});
    row->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    int at = ListView1->topLevelItemCount();
    while (at > 0 && FileTypesListNameLess(row->text(0), ListView1->topLevelItem(at - 1)->text(0)))
        --at;
    ListView1->insertTopLevelItem(at, row);
}

void TDlgFileTypesLists::PlaceRow(QTreeWidgetItem* Row) {
    bool selected = Row->isSelected();
    ListView1->takeTopLevelItem(ListView1->indexOfTopLevelItem(Row));
    int at = 0;
    while (at < ListView1->topLevelItemCount() &&
           !FileTypesListNameLess(Row->text(0), ListView1->topLevelItem(at)->text(0)))
        ++at;
    ListView1->insertTopLevelItem(at, Row);
    if (selected) {
        ListView1->setCurrentItem(Row);
        Row->setSelected(true);
    }
}

void TDlgFileTypesLists::ActNewUpdate() {
    ActEdit->setEnabled(SelectedRow() != nullptr);
    ActDelete->setEnabled(ActEdit->isEnabled());
}

void TDlgFileTypesLists::ActNewExecute() {
    std::string name;
    std::string masks;
    EditFileTypesListItem(name, masks);
    if (!name.empty()) AddRow(name, masks);
}

void TDlgFileTypesLists::ActEditExecute() {
    QTreeWidgetItem* row = SelectedRow();
    if (!row) return;
    std::string name = row->text(0).toStdString();
    std::string masks = row->text(1).toStdString();
    EditFileTypesListItem(name, masks);
    if (name.empty()) return;
    row->setText(0, Text(name));
    PlaceRow(row);
    row->setText(1, Text(masks));
}

void TDlgFileTypesLists::ActDeleteExecute() {
    QTreeWidgetItem* row = SelectedRow();
    if (!row) return;
    std::string question = FormatMessage("Delete \"%s\"?", row->text(0).toStdString());
    if (UiHooks().MessageBox("Confirm", question, miQuestion, mbYes | mbNo, idYes) != idYes) return;
    delete row;
    // No neighbour inherits the selection: a second Delete must be aimed anew.
    ListView1->clearSelection();
}

void TDlgFileTypesLists::ListView1DblClick() {
    ActNewUpdate();
    if (ActEdit->isEnabled()) ActEdit->trigger();
}

bool TDlgFileTypesLists::eventFilter(QObject* Watched, QEvent* Event) {
    // Handled once the view has taken the click (it selects the row under the mouse).
    if (Watched == ListView1->viewport() && Event->type() == QEvent::MouseButtonDblClick)
        QMetaObject::invokeMethod(
            this, [this] { RunGuarded([this] { ListView1DblClick(); }); }, Qt::QueuedConnection);
    return QDialog::eventFilter(Watched, Event);
}

void ShowFileTypesListsDialog(QWidget* Parent) {
    std::exception_ptr error;
    {
        auto dialog = std::make_unique<TDlgFileTypesLists>(Parent);
        DlgFileTypesLists = dialog.get();
        struct TReset {
            ~TReset() { DlgFileTypesLists = nullptr; }
        } reset;
        dialog->exec();
        error = dialog->CloseError();
    }
    if (error) std::rethrow_exception(error);
}

bool FileTypesListExists(const std::string& Name) {
    if (!DlgFileTypesLists) return false;
    for (const TFileTypesList& row : DlgFileTypesLists->Rows())
        if (SameTextAscii(row.Name, Name)) return true;
    return false;
}

}  // namespace qm
