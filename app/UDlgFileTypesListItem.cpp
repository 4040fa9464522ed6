#include "app/UDlgFileTypesListItem.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <memory>

#include "app/UDlgFileTypesLists.h"
#include "app/UErrorBox.h"
#include "platform/Exception.h"
#include "platform/ProfileText.h"

namespace qm {

namespace {

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Text, int Left, int Top) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(QString::fromLatin1(Name));
    label->setTextFormat(Qt::PlainText);
    label->move(Left, Top);
    label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(QWidget* Parent, const char* Name, const QRect& Geometry) {
    auto* edit = new QLineEdit(Parent);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setGeometry(Geometry);
    return edit;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const QString& Text,
                        const QRect& Geometry) {
    auto* button = new QPushButton(Text, Parent);
    button->setObjectName(QString::fromLatin1(Name));
    button->setGeometry(Geometry);
    return button;
}

}  // namespace

std::string TrimControls(const std::string& Text) {
    size_t begin = 0;
    size_t end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= 32) --end;
    return Text.substr(begin, end - begin);
}

TDlgFileTypesListItem::TDlgFileTypesListItem(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("DlgFileTypesListItem"));
    setWindowTitle(QStringLiteral("Dialog"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(313, 136);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 297, 85);

    edName = MakeEdit(this, "edName", QRect(76, 20, 121, 21));
    edFileMasks = MakeEdit(this, "edFileMasks", QRect(76, 44, 217, 21));
    Label1 = MakeLabel(this, "Label1", QStringLiteral("&Name:"), 20, 24);
    Label1->setTextFormat(Qt::AutoText);
    Label1->setBuddy(edName);
    txtOldName = MakeLabel(this, "txtOldName", QString(), 204, 24);
    txtOldName->hide();
    Label2 = MakeLabel(this, "Label2", QStringLiteral("File &masks:"), 20, 48);
    Label2->setBuddy(edFileMasks);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("(separate by semicolons, ex.: *.doc;*.txt)"),
                       76, 68);
    // Fonts wider than the designed one push the labels into the edits: then the edits start
    // after the labels and keep their right edges (the hint under them stays where it is, so
    // that it keeps inside the frame).
    int labelsRight = std::max(Label1->geometry().right(), Label2->geometry().right()) + 4;
    if (labelsRight > edName->x()) {
        for (QWidget* w : {static_cast<QWidget*>(edName), static_cast<QWidget*>(edFileMasks)})
            w->setGeometry(QRect(QPoint(labelsRight, w->y()), w->geometry().bottomRight()));
    }
    OKBtn = MakeButton(this, "OKBtn", QStringLiteral("OK"), QRect(79, 104, 75, 25));
    CancelBtn = MakeButton(this, "CancelBtn", QStringLiteral("Cancel"), QRect(159, 104, 75, 25));
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);
    CancelBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(edName, edFileMasks);
    setTabOrder(edFileMasks, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
}

void TDlgFileTypesListItem::showEvent(QShowEvent* Event) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(Event);
}

void TDlgFileTypesListItem::FormCloseQuery() {
    std::string name = TrimControls(edName->text().toStdString());
    std::string masks = TrimControls(edFileMasks->text().toStdString());
    edName->setText(QString::fromStdString(name));
    edFileMasks->setText(QString::fromStdString(masks));
    if (name.empty() || masks.empty()) throw Exception("Invalid file type list.");
    // A mask with a folder in it ("../*", "/etc/*") would reach outside the chosen folder.
    if (masks.find('/') != std::string::npos)
        throw Exception("File masks cannot hold \"/\": a mask names files of the chosen folder.");
    if (!SameTextAscii(name, txtOldName->text().toStdString()) && FileTypesListExists(name))
        throw Exception(FormatMessage("File type list \"%s\" already exists.", name));
}

void TDlgFileTypesListItem::done(int Result) {
    if (Result == QDialog::Accepted && !RunGuarded([this] { FormCloseQuery(); })) return;
    QDialog::done(Result);
}

void EditFileTypesListItem(std::string& Name, std::string& Masks) {
    auto dialog = std::make_unique<TDlgFileTypesListItem>(DlgFileTypesLists);
    dialog->txtOldName->setText(QString::fromStdString(Name));
    if (Name.empty()) {
        dialog->setWindowTitle(QStringLiteral("Add"));
    } else {
        dialog->setWindowTitle(QStringLiteral("Edit"));
        dialog->edName->setText(QString::fromStdString(Name));
        dialog->edFileMasks->setText(QString::fromStdString(Masks));
    }
    if (dialog->exec() == QDialog::Accepted) {
        Name = dialog->edName->text().toStdString();
        Masks = dialog->edFileMasks->text().toStdString();
    } else {
        Name.clear();
    }
}

}  // namespace qm
