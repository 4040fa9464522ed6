#include "app/UQMApps.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

#include "platform/Exception.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string Environment(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? std::string(value) : std::string();
}

std::string InFolder(std::string Folder, const char* Name) {
    if (Folder.empty() || Folder.back() != '/') Folder += '/';
    return Folder + Name;
}

}  // namespace

std::string AppTitle = kDesignAppTitle;
std::string ApplicationTitle = kDesignAppTitle;
std::string AppsIniFileName = AppsIniFileNameFromEnvironment();

std::string AppsIniFileNameFromEnvironment() {
    const char* kName = "QMApps.ini";
    std::string windir = Environment("windir");
    if (!windir.empty()) return InFolder(windir, kName);
    std::string config = Environment("XDG_CONFIG_HOME");
    if (!config.empty()) return InFolder(config, kName);
    return InFolder(InFolder(Environment("HOME"), ".config"), kName);
}

std::string GetTitleStem(const std::string& Text) {
    size_t space = Text.rfind(' ');
    return space == std::string::npos ? Text : Text.substr(0, space);
}

QRect KeepRectOnScreen(QRect Form, QSize Screen) {
    int left = Form.left();
    int top = Form.top();
    int width = Form.width();
    int height = Form.height();
    if (Screen.width() < left + width) left = Screen.width() - width;
    if (Screen.height() < top + height) top = Screen.height() - height;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (Screen.width() < width) width = Screen.width();
    if (Screen.height() < height) height = Screen.height();
    return QRect(left, top, width, height);
}

void KeepFormOnScreen(QWidget& Form) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The frame (title bar and border included) is what must stay on the screen; before the
    // window is first shown it has none yet.
    // pos() and move() speak of the same corner; frameGeometry() may still lag behind a move
    // made before the window is first mapped.
    const QRect frame(Form.pos(), Form.frameGeometry().size());
    const QSize border = frame.size() - Form.size();
    QRect kept = KeepRectOnScreen(frame, screen->geometry().size());
    if (kept.size() != frame.size()) {
        QSize client = kept.size() - border;
        if (Form.minimumSize() == Form.maximumSize())
            Form.setFixedSize(client);
        else
            Form.resize(client);
    }
    Form.move(kept.topLeft());
}

QPoint SnapToEdges(const QRect& Frame, const QRect& Area, int Distance) {
    QPoint at = Frame.topLeft();
    if (std::abs(Frame.left() - Area.left()) <= Distance)
        at.setX(Area.left());
    else if (std::abs(Frame.right() - Area.right()) <= Distance)
        at.setX(Area.right() - Frame.width() + 1);
    if (std::abs(Frame.top() - Area.top()) <= Distance)
        at.setY(Area.top());
    else if (std::abs(Frame.bottom() - Area.bottom()) <= Distance)
        at.setY(Area.bottom() - Frame.height() + 1);
    return at;
}

std::string AboutBoxText(const std::string& Description, int FirstYear, int LastYear) {
    std::string years = std::to_string(FirstYear);
    if (LastYear != 0) years += "-" + std::to_string(LastYear);
    return AppTitle + "\r\r" + Description + "\r\r" +
           "Web: https://quillmate.example.org\r"
           "E-mail: support@quillmate.example.org\r"
           "\r"
           "Copyright (C) " +
           years + " The Quillmate developers";
}

void ShowAboutBox(const std::string& Description, int FirstYear, int LastYear) {
    UiHooks().MessageBox("About", AboutBoxText(Description, FirstYear, LastYear), miInformation,
                         mbOK, idOk);
}

}  // namespace qm
