#include "app/UCommandLine.h"

#include <cstdio>

namespace qm {

namespace {

struct TKeyword {
    const char* Text;
    TParameterKind Kind;
};

// Checked in this order; the first prefix that matches wins.
constexpr TKeyword kKeywords[] = {{"src=", pkSrc},   {"sub", pkSub},     {"lst=", pkLst},
                                  {"dest=", pkDest}, {"stamp", pkStamp}, {"notify", pkNotify}};

std::string LowerAscii(std::string Text) {
    for (char& c : Text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return Text;
}

}  // namespace

const char* const kUsageText =
    "Command line usage:\r"
    "\r"
    "  [path]qmate [Src=SourceFolderName Sub Lst=FileListTypesName "
    "Dest=DestinationFileName Stamp Notify]\r"
    "\r"
    "Note: Put a parameter in quotes if it contains spaces.\r"
    "\r"
    "Example:\r"
    "  /usr/bin/qmate \"Src=/home/ann/Documents\" Sub "
    "\"Lst=Ms. Office Documents\" Dest=/home/ann/BackUp/MyDoc.zip Stamp Notify";

TParameterKind ParameterKind(const std::string& Parameter) {
    const std::string lower = LowerAscii(Parameter);
    for (const TKeyword& keyword : kKeywords)
        if (lower.starts_with(keyword.Text)) return keyword.Kind;
    return pkUnknown;
}

std::string ParameterValue(const std::string& Parameter) {
    switch (ParameterKind(Parameter)) {
        case pkSrc:
        case pkLst:
            return Parameter.substr(4);
        case pkDest:
            return Parameter.substr(5);
        default:
            return std::string();
    }
}

TProgramRequest ProgramRequest(const std::vector<std::string>& Parameters) {
    for (const std::string& parameter : Parameters) {
        if (parameter == "--help" || parameter == "-h") return prHelp;
        if (parameter == "--version") return prVersion;
    }
    return prRun;
}

std::string UsageForTerminal() {
    std::string usage = kUsageText;
    for (char& c : usage)
        if (c == '\r') c = '\n';
    return usage + "\n";
}

std::string NotDefinedMessage(const std::string& FirstLine) {
    return FirstLine + "\r" + kUsageText;
}

std::string TimeStamp(const std::tm& Local) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, " %.4d%.2d%.2d %.2d%.2d%.2d", Local.tm_year + 1900,
                  Local.tm_mon + 1, Local.tm_mday, Local.tm_hour, Local.tm_min, Local.tm_sec);
    return stamp;
}

std::string AddTimeStamp(const std::string& Name, const std::tm& Local) {
    std::string stamped = Name;
    size_t dot = stamped.rfind('.');
    if (dot == std::string::npos)
        stamped += TimeStamp(Local);
    else
        stamped.insert(dot, TimeStamp(Local));
    return stamped;
}

std::string AddTimeStamp(const std::string& Name) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return AddTimeStamp(Name, local);
}

}  // namespace qm
