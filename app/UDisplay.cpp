#include "app/UDisplay.h"

#include <QGuiApplication>
#include <QString>
#include <cstdlib>
#include <cstring>

namespace qm {

namespace {

bool IsSet(const char* Name) {
    const char* value = std::getenv(Name);
    return value && *value;
}

bool IsHeadlessPlatform(const QString& Name) {
    return Name.startsWith(QLatin1String("offscreen")) || Name.startsWith(QLatin1String("minimal"));
}

}  // namespace

bool NoDisplayInEnvironment() {
    if (IsHeadlessPlatform(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")))) return true;
    return !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY");
}

void UseOffscreenWithoutDisplay() {
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") &&
        !IsHeadlessPlatform(QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"))))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool RunsWithoutDisplay() {
    return IsHeadlessPlatform(QGuiApplication::platformName());
}

}  // namespace qm
