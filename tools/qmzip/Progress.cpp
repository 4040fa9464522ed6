#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace qm::qmzip {

namespace {

int TerminalWidth() {
    struct winsize ws {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40) return ws.ws_col;
    return 80;
}

}  // namespace

void TProgress::StartFile(const std::string& Name) {
    FName = Name;
    FFile = 0;
    Draw();
}

void TProgress::FilePercent(int Percent) {
    if (Percent == FFile) return;
    FFile = Percent;
    Draw();
}

void TProgress::TotalPercent(int Percent) {
    if (Percent == FTotal) return;
    FTotal = Percent;
    Draw();
}

void TProgress::Draw() {
    if (!FEnabled) return;
    const int width = TerminalWidth();
    constexpr int kBar = 20;
    std::string line = "[";
    int filled = FFile * kBar / 100;
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBar - filled), '.');
    char pct[32];
    std::snprintf(pct, sizeof pct, "] %3d%%", FFile);
    line += pct;
    if (FTotal >= 0) {
        std::snprintf(pct, sizeof pct, " (all %3d%%)", FTotal);
        line += pct;
    }
    line += "  Adding ";
    std::string name = FName;
    size_t room = static_cast<size_t>(width - 1) > line.size() ? width - 1 - line.size() : 0;
    if (name.size() > room) name = room > 3 ? "..." + name.substr(name.size() - (room - 3)) : "";
    line += name;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    FShown = true;
}

void TProgress::Finish() {
    if (FEnabled && FShown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    FShown = false;
}

}  // namespace qm::qmzip
