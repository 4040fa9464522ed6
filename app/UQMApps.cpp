#include "app/UQMApps.h"

#include <cstdlib>

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

}  // namespace qm
