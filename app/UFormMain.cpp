#include "app/UFormMain.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCollator>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <exception>

#include "app/UAccessibleComboBox.h"
#include "app/UAppIcon.h"
#include "app/UCommandLine.h"
#include "app/UDlgFileTypesLists.h"
#include "app/UErrorBox.h"
#include "app/UFormMainSettings.h"
#include "app/UQMApps.h"
#include "foldertree/ShellTreeView.h"
#include "platform/Exception.h"
#include "platform/FileOps.h"

namespace qm {

TFormMain* FormMain = nullptr;

namespace {

// The window's own long hint, shown over every part without a hint of its own.
constexpr const char* kFormHint = "|Quillmate: back-ups in ZIP format, by the Quillmate developers";
// How close (pixels) a dragged window comes to a screen edge before it snaps to it.
constexpr int kSnapBuffer = 10;

QString Text(const std::string& S) {
    return QString::fromStdString(S);
}

// The hint goes to the status line; its long part is also the control's tooltip and what a
// screen reader says about the control beyond its name.
void SetHint(QWidget* Widget, const QString& Hint) {
    Widget->setProperty("Hint", Hint);
    const QString longHint = QString::fromStdString(GetLongHint(Hint.toStdString()));
    Widget->setToolTip(longHint);
    Widget->setAccessibleDescription(longHint);
}

void SetHint(QWidget* Widget, const char* Hint) {
    SetHint(Widget, QString::fromUtf8(Hint));
}

template <typename T>
T* Make(QWidget* Parent, const char* Name, int Left, int Top, int Width, int Height) {
    auto* widget = new T(Parent);
    widget->setObjectName(QString::fromLatin1(Name));
    widget->setGeometry(Left, Top, Width, Height);
    return widget;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top,
                  QWidget* Buddy) {
    auto* label = new QLabel(QString::fromUtf8(Caption), Parent);
    label->setObjectName(QString::fromLatin1(Name));
    label->setBuddy(Buddy);
    label->move(Left, Top);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption, int Left, int Top,
                        int Width, int Height) {
    auto* button = Make<QPushButton>(Parent, Name, Left, Top, Width, Height);
    button->setText(QString::fromUtf8(Caption));
    // A focused button takes Enter itself, as buttons do in dialogs.
    button->setAutoDefault(true);
    return button;
}

// The masks list box's order: alphabetical without regard to letter case, in the user's
// locale; masks the collation cannot tell apart by their characters.
bool MaskLess(const QString& A, const QString& B) {
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    int order = collator.compare(A, B);
    return order != 0 ? order < 0 : A < B;
}

}  // namespace

std::string GetLongHint(const std::string& Hint) {
    size_t bar = Hint.find('|');
    return bar == std::string::npos ? Hint : Hint.substr(bar + 1);
}

namespace {

// Up to ten of Paths, one per line, then how many more there are.
std::string SomeOf(const std::vector<std::string>& Paths) {
    constexpr size_t kShown = 10;
    std::string text;
    for (size_t i = 0; i < Paths.size() && i < kShown; ++i) text += "\r" + Paths[i];
    if (Paths.size() > kShown)
        text += "\r" + FormatMessage("and %d more", static_cast<long long>(Paths.size() - kShown));
    return text;
}

}  // namespace

std::string BackUpCompleteText(const std::string& FileName, int FileCount,
                               const std::vector<std::string>& Skipped,
                               const std::vector<std::string>& Changed,
                               const std::vector<std::string>& LeftOut) {
    QString count = QLocale().toString(static_cast<double>(FileCount), 'f', 0);
    std::string text = FormatMessage("Back-Up file \"%s\" is created.", FileName) +
                       "\rTotal = " + count.toStdString() + " files.";
    if (!Skipped.empty())
        text += "\r" +
                FormatMessage("%d file(s) could not be read and were left out.",
                              static_cast<long long>(Skipped.size())) +
                SomeOf(Skipped);
    if (!Changed.empty())
        text += "\r" +
                FormatMessage("%d file(s) changed while they were read; their copies may be torn.",
                              static_cast<long long>(Changed.size())) +
                SomeOf(Changed);
    if (!LeftOut.empty())
        text += "\r" +
                FormatMessage(
                    "%d special file(s) (FIFOs, sockets, devices) hold no data and were "
                    "left out.",
                    static_cast<long long>(LeftOut.size())) +
                SomeOf(LeftOut);
    return text;
}

bool TSaveDialog::Execute() {
    std::string chosen = FileName;
    if (!UiHooks().SaveFileDialog(Options, chosen)) return false;
    FileName = chosen;
    return true;
}

TFormMain::TFormMain(QWidget* Parent) : QWidget(Parent) {
    FormMain = this;
    InstallAccessibleComboBox();
    CreateControls();
    ConnectHandlers();
    FormCreate();
}

TFormMain::~TFormMain() {
    if (FormMain == this) FormMain = nullptr;
}

void TFormMain::CreateControls() {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QString::fromLatin1(kDesignAppTitle));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("quillmate"), AppIcon()));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    // The designed size is where the window opens and the least it needs; the user may give
    // it more, and the tree and the masks list take it.
    setMinimumSize(kDesignSize);
    resize(kDesignSize);
    FDesignPosition = QPoint(192, 103);
    // The window's own hint only fills the status line: as a tooltip it would pop up over
    // every label.
    setProperty("Hint", QString::fromUtf8(kFormHint));

    Bevel1 = Make<QFrame>(this, "Bevel1", 8, 8, 355, 277);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    ShellTreeView1 = new TShellTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(20, 36, 169, 173);
    SetHint(ShellTreeView1, "Select folder containing files to back-up");
    // Screen readers name each control as its label does; the two "..." buttons and the
    // controls whose own text changes are named for what they are for.
    ShellTreeView1->setAccessibleName(QStringLiteral("Look in"));
    // A name wider than the tree ends in "..." (each node's tooltip gives its full path), so
    // that a cut name never passes for a whole one; a wider window shows more of it.
    ShellTreeView1->header()->setStretchLastSection(true);
    ShellTreeView1->setTextElideMode(Qt::ElideRight);
    Label1 = MakeLabel(this, "Label1", "Look &in:", 20, 20, ShellTreeView1);

    cbIncludeSubFolders = Make<QCheckBox>(this, "cbIncludeSubFolders", 20, 212, 117, 17);
    cbIncludeSubFolders->setText(QStringLiteral("Include s&ub folders"));
    // Fonts other than the designed one may need more room; the tree's width is there.
    cbIncludeSubFolders->resize(
        std::min(169, std::max(117, cbIncludeSubFolders->sizeHint().width())), 17);
    SetHint(cbIncludeSubFolders, "Include files in sub folders if any");

    edFileTypesLists = Make<QComboBox>(this, "edFileTypesLists", 196, 36, 133, 21);
    edFileTypesLists->setEditable(false);
    SetHint(edFileTypesLists, "Select file types list");
    edFileTypesLists->setAccessibleName(QStringLiteral("File types lists"));
    Label3 = MakeLabel(this, "Label3", "File &types lists:", 196, 20, edFileTypesLists);

    BtnFileTypesLists = MakeButton(this, "BtnFileTypesLists", "...", 330, 36, 21, 21);
    SetHint(BtnFileTypesLists, "Add, delete, or edit file type lists");
    BtnFileTypesLists->setAccessibleName(QStringLiteral("Edit file types lists"));

    lbFileMasks = Make<QListWidget>(this, "lbFileMasks", 196, 80, 154, 149);
    // Three columns of 13-pixel items, filled top to bottom and then into the next column.
    lbFileMasks->setViewMode(QListView::ListMode);
    lbFileMasks->setFlow(QListView::TopToBottom);
    lbFileMasks->setWrapping(true);
    lbFileMasks->setResizeMode(QListView::Adjust);
    lbFileMasks->setUniformItemSizes(true);
    lbFileMasks->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lbFileMasks->setTextElideMode(Qt::ElideRight);
    SetHint(lbFileMasks, "File masks of selected file types list");
    lbFileMasks->setAccessibleName(QStringLiteral("File masks"));
    Label4 = MakeLabel(this, "Label4", "File &masks:", 196, 64, lbFileMasks);

    edBackUpFile = Make<QLineEdit>(this, "edBackUpFile", 20, 252, 311, 21);
    SetHint(edBackUpFile, "Enter destination ZIP file name");
    edBackUpFile->setAccessibleName(QStringLiteral("Back-up file"));
    Label5 = MakeLabel(this, "Label5", "Back-up &file:", 20, 236, edBackUpFile);

    BtnBackUpFile = MakeButton(this, "BtnBackUpFile", "...", 330, 252, 21, 21);
    SetHint(BtnBackUpFile, "Enter destination ZIP file name");
    BtnBackUpFile->setAccessibleName(QStringLiteral("Choose back-up file"));

    PnlStatusBar = Make<QFrame>(this, "PnlStatusBar", 0, 294, 459, 19);
    PnlStatusBar->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PnlStatusBar->setLineWidth(1);
    txtStatusBar = Make<QLabel>(PnlStatusBar, "txtStatusBar", 3, 3, 303, 13);
    txtStatusBar->setTextFormat(Qt::PlainText);
    txtStatusBar->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ProgressBar1 = Make<QProgressBar>(PnlStatusBar, "ProgressBar1", 306, 3, 150, 13);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Back-up progress"));
    ProgressBar1->setAccessibleDescription(QStringLiteral("How much of the current file is added"));
    ProgressBar1->setToolTip(ProgressBar1->accessibleDescription());
    ProgressBar1->hide();

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ActBackUp = new QAction(QStringLiteral("&Back-Up"), ActionList1);
    ActBackUp->setObjectName(QStringLiteral("ActBackUp"));
    FileExit1 = new QAction(QStringLiteral("E&xit"), ActionList1);
    FileExit1->setObjectName(QStringLiteral("FileExit1"));
    FileExit1->setProperty("Hint", QStringLiteral("Exit|Quits the application"));

    BtnBackUp = MakeButton(this, "BtnBackUp", "&Back-Up", 376, 8, 75, 25);
    SetHint(BtnBackUp, "Run or cancel back-up");
    BtnAbout = MakeButton(this, "BtnAbout", "&About", 376, 36, 75, 25);
    SetHint(BtnAbout, "About this application");
    BtnExit = MakeButton(this, "BtnExit", "E&xit", 376, 64, 75, 25);
    SetHint(BtnExit, FileExit1->property("Hint").toString());

    Bevel1->lower();
    setTabOrder(ShellTreeView1, cbIncludeSubFolders);
    setTabOrder(cbIncludeSubFolders, edFileTypesLists);
    setTabOrder(edFileTypesLists, BtnFileTypesLists);
    setTabOrder(BtnFileTypesLists, lbFileMasks);
    setTabOrder(lbFileMasks, edBackUpFile);
    setTabOrder(edBackUpFile, BtnBackUpFile);
    setTabOrder(BtnBackUpFile, BtnBackUp);
    setTabOrder(BtnBackUp, BtnAbout);
    setTabOrder(BtnAbout, BtnExit);

    SaveDialog1.Options.Title = "Save Back-Up File As";
    SaveDialog1.Options.Filter = "ZIP files (*.zip)|*.zip|All files (*.*)|*.*";
    SaveDialog1.Options.DefaultSuffix = "zip";
    SaveDialog1.Options.OverwritePrompt = true;

    SetDefaultButton(BtnBackUp);
    LayOutForGrowth();
}

void TFormMain::LayOutForGrowth() {
    using TShares = TGrowingLayout::TShares;
    // The tree and the masks list share the extra width half and half, and both take all of
    // the extra height; what lies right of or below them moves along.
    const TShares stays{}, right{1, 0, 1, 0}, down{0, 1, 0, 1}, downRight{1, 1, 1, 1};
    const TShares half{0.5, 0, 0.5, 0};
    FLayout.Add(Bevel1, {0, 0, 1, 1});
    FLayout.Add(Label1, stays);
    FLayout.Add(ShellTreeView1, {0, 0, 0.5, 1});
    FLayout.Add(cbIncludeSubFolders, down);
    FLayout.Add(Label3, half);
    FLayout.Add(edFileTypesLists, {0.5, 0, 1, 0});
    FLayout.Add(BtnFileTypesLists, right);
    FLayout.Add(Label4, half);
    FLayout.Add(lbFileMasks, {0.5, 0, 1, 1});
    FLayout.Add(Label5, down);
    FLayout.Add(edBackUpFile, {0, 1, 1, 1});
    FLayout.Add(BtnBackUpFile, downRight);
    FLayout.Add(PnlStatusBar, {0, 1, 1, 1});
    FLayout.Add(txtStatusBar, {0, 0, 1, 0});
    FLayout.Add(ProgressBar1, right);
    for (QPushButton* button : {BtnBackUp, BtnAbout, BtnExit}) FLayout.Add(button, right);
}

void TFormMain::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    FLayout.Apply(size());
    // Three columns however wide the list is.
    lbFileMasks->setGridSize(QSize((lbFileMasks->width() - 2 * lbFileMasks->frameWidth()) / 3, 13));
}

void TFormMain::ConnectHandlers() {
    auto guarded = [this](void (TFormMain::*Handler)()) {
        return [this, Handler] { RunGuarded([this, Handler] { (this->*Handler)(); }); };
    };
    // The buttons show their actions' captions and enabled states and run them when clicked.
    auto bind = [](QPushButton* Button, QAction* Action) {
        connect(Button, &QPushButton::clicked, Action, &QAction::trigger);
        connect(Action, &QAction::changed, Button, [Button, Action] {
            Button->setText(Action->text());
            Button->setEnabled(Action->isEnabled());
        });
    };
    bind(BtnBackUp, ActBackUp);
    bind(BtnExit, FileExit1);
    connect(ActBackUp, &QAction::triggered, this, guarded(&TFormMain::ActBackUpExecute));
    connect(FileExit1, &QAction::triggered, this, [this] { close(); });
    connect(edFileTypesLists, &QComboBox::activated, this,
            guarded(&TFormMain::edFileTypesListsChange));
    connect(BtnFileTypesLists, &QPushButton::clicked, this,
            guarded(&TFormMain::BtnFileTypesListsClick));
    connect(BtnBackUpFile, &QPushButton::clicked, this, guarded(&TFormMain::BtnBackUpFileClick));
    connect(BtnAbout, &QPushButton::clicked, this, guarded(&TFormMain::BtnAboutClick));
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                guarded(&TFormMain::ActionList1Update));
    qApp->installEventFilter(this);
    // A chosen folder that disappears takes the choice with it. The tree then selects a
    // neighbour, which the user never chose and which a back-up must not take for the source:
    // the window clears the selection and waits for a new choice.
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& Current, const QModelIndex& Previous) {
                TShellFolder* gone = ShellTreeView1->FolderOf(Previous);
                if (!Current.isValid() || !gone) return;
                const std::string path = gone->Path().toStdString();
                if (path.empty() || path[0] != '/' || DirectoryExists(path)) return;
                QMetaObject::invokeMethod(
                    this,
                    [this, path] {
                        ShellTreeView1->setCurrentIndex(QModelIndex());
                        SetStatusText(FormatMessage("Folder \"%s\" doesn't exist.", path));
                    },
                    Qt::QueuedConnection);
            });

    ZipWriter1.SetZipAction(zaReplace);
    ZipWriter1.OnStartZip = [this](TZipWriter&, const std::string& FName, TZipHeaderInfo&,
                                   bool& Skip) { ZipWriter1StartZip(FName, Skip); };
    ZipWriter1.OnFilePercentDone = [this](TZipReader&, int Percent) {
        ZipWriter1FilePercentDone(Percent);
    };
    ZipWriter1.OnZipComplete = [this](TZipWriter&, int FileCount) {
        ZipWriter1ZipComplete(FileCount);
    };
    ZipWriter1.OnFileChanged = [this](TZipWriter&, const std::string& FName) {
        FChangedFiles.push_back(FName);
    };
    // A back-up may hold private files: only its owner reads a new one.
    ZipWriter1.SetNewArchiveMode(0600);
    // No retry: a file that cannot be opened now is reported after the run instead.
    ZipWriter1.OnSkippingFile = [this](TZipWriter&, TSkipReason Reason, const std::string& FName,
                                       int, bool&) { ZipWriter1SkippingFile(Reason, FName); };
    ZipWriter1.OnNotRegularFile = [this](TZipWriter&, const std::string& FName) {
        FLeftOutFiles.push_back(FName);
    };
}

void TFormMain::FormCreate() {
    AppTitle = windowTitle().toStdString();
    ApplicationTitle = AppTitle;
}

std::string TFormMain::StatusText() const {
    return txtStatusBar->text().toStdString();
}

void TFormMain::SetStatusText(const std::string& Text) {
    txtStatusBar->setText(QString::fromStdString(Text));
}

void TFormMain::SetDefaultButton(QPushButton* Button) {
    if (FDefaultButton == Button) return;
    if (FDefaultButton) FDefaultButton->setDefault(false);
    FDefaultButton = Button;
    if (Button) Button->setDefault(true);
}

void TFormMain::SetCancelButton(QPushButton* Button) {
    FCancelButton = Button;
}

// ---------------------------------------------------------------------------------------
// Hints.

std::string TFormMain::HintOf(const QWidget* Widget) {
    for (const QWidget* w = Widget; w; w = w->parentWidget()) {
        QString hint = w->property("Hint").toString();
        if (!hint.isEmpty()) return hint.toStdString();
        if (w->isWindow()) break;
    }
    return std::string();
}

void TFormMain::SetApplicationHint(const std::string& Hint) {
    if (Hint == FApplicationHint) return;
    FApplicationHint = Hint;
    ApplicationEvents1Hint();
}

void TFormMain::ApplicationEvents1Hint() {
    // While a back-up runs the status line belongs to it.
    if (FTag == 0) SetStatusText(GetLongHint(FApplicationHint));
}

bool TFormMain::eventFilter(QObject* Watched, QEvent* Event) {
    const QEvent::Type type = Event->type();
    if ((type == QEvent::Enter || type == QEvent::Leave) && Watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(Watched);
        if (widget->window() == this) {
            // Leaving a control puts the mouse over its parent (a sibling entered next sends
            // its own Enter); leaving the window leaves every hint behind.
            if (type == QEvent::Enter)
                SetApplicationHint(HintOf(widget));
            else
                SetApplicationHint(widget == this ? std::string() : HintOf(widget->parentWidget()));
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

// ---------------------------------------------------------------------------------------
// The lists and the buttons.

void TFormMain::LoadFileTypesListNames() {
    edFileTypesLists->clear();
    for (const std::string& name : qm::LoadFileTypesListNames())
        edFileTypesLists->addItem(Text(name));
}

void TFormMain::LoadFileMasks() {
    for (const std::string& mask :
         qm::LoadFileMasks(edFileTypesLists->currentText().toStdString())) {
        QString text = Text(mask);
        int at = lbFileMasks->count();
        while (at > 0 && MaskLess(text, lbFileMasks->item(at - 1)->text())) --at;
        lbFileMasks->insertItem(at, text);
    }
}

void TFormMain::SelectFileTypesList(int Index) {
    edFileTypesLists->setCurrentIndex(Index);
}

void TFormMain::edFileTypesListsChange() {
    lbFileMasks->clear();
    if (edFileTypesLists->currentIndex() >= 0) LoadFileMasks();
}

void TFormMain::BtnFileTypesListsClick() {
    const std::string remembered = edFileTypesLists->currentText().toStdString();
    std::exception_ptr error;
    try {
        ShowFileTypesListsDialog(this);
    } catch (...) {
        // The lists on file are shown even when the dialog could not write them all.
        error = std::current_exception();
    }
    LoadFileTypesListNames();
    int found = IndexOfFileTypesList(remembered);
    if (found >= 0)
        SelectFileTypesList(found);
    else
        SelectFileTypesList(edFileTypesLists->count() > 0 ? 0 : -1);
    edFileTypesListsChange();
    if (error) std::rethrow_exception(error);
}

void TFormMain::BtnBackUpFileClick() {
    SaveDialog1.FileName = edBackUpFile->text().toStdString();
    if (SaveDialog1.Execute()) edBackUpFile->setText(Text(SaveDialog1.FileName));
}

void TFormMain::BtnAboutClick() {
    ShowAboutBox(std::string("Quillmate utility in ZIP format file with command line support.") +
                     "\r\r" + kUsageText,
                 2001, 2003);
}

// ---------------------------------------------------------------------------------------
// Keys, moving, closing.

void TFormMain::keyPressEvent(QKeyEvent* Event) {
    // Enter that no control took goes to the default button, Esc to the cancel button.
    QPushButton* target = nullptr;
    if (Event->modifiers() == Qt::NoModifier || Event->modifiers() == Qt::KeypadModifier) {
        if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter)
            target = FDefaultButton;
        else if (Event->key() == Qt::Key_Escape)
            target = FCancelButton;
    }
    if (target && target->isVisible() && target->isEnabled()) {
        target->click();
        Event->accept();
        return;
    }
    QWidget::keyPressEvent(Event);
}

void TFormMain::moveEvent(QMoveEvent* Event) {
    QWidget::moveEvent(Event);
    // Only the user's dragging snaps; the program's own moves (restoring the position) do not.
    if (!isVisible() || !Event->spontaneous()) return;
    QScreen* where = screen();
    if (!where) return;
    QPoint snapped = SnapToEdges(frameGeometry(), where->availableGeometry(), kSnapBuffer);
    if (snapped != frameGeometry().topLeft()) move(snapped);
}

void TFormMain::FormCloseQuery(bool& CanClose) {
    if (FTag > 0) {
        ActBackUpExecute();  // running: asks whether to cancel
        // A confirmed cancel only asks the writer to stop; the run still goes on here.
        if (FTag > 0) CanClose = false;
    }
}

void TFormMain::FormClose() {
    RunGuarded([this] { SaveSettings(); });
}

TLastSettings TFormMain::ShownLastSettings() const {
    TLastSettings last;
    if (TShellFolder* folder = ShellTreeView1->SelectedShellItem())
        last.DirName = folder->Path().toStdString();
    last.InclSubFolders = cbIncludeSubFolders->isChecked();
    last.FileTypeList = edFileTypesLists->currentText().toStdString();
    last.BackUpFile = edBackUpFile->text().toStdString();
    return last;
}

void TFormMain::SaveSettings() {
    std::optional<TWindowPosition> window;
    if (!isMinimized() && !isMaximized()) window = TWindowPosition{x(), y()};
    qm::SaveSettings(window, ShownLastSettings());
}

void TFormMain::closeEvent(QCloseEvent* Event) {
    bool canClose = true;
    if (!RunGuarded([&] { FormCloseQuery(canClose); })) canClose = FTag == 0;
    if (!canClose) {
        Event->ignore();
        return;
    }
    FormClose();
    Event->accept();
}

}  // namespace qm
