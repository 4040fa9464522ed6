// The command line of the program: its parameters, the usage text shown when one is missing,
// and the time stamp that "Stamp" inserts into the back-up file name.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace qm {

// What a parameter asks for: the first keyword it begins with, compared after folding ASCII
// letters to lower case ("subfolders" is "sub", "stampX" is "stamp").
enum TParameterKind { pkSrc, pkSub, pkLst, pkDest, pkStamp, pkNotify, pkUnknown };

TParameterKind ParameterKind(const std::string& Parameter);
// The value after the keyword ("Src=", "Lst=", "Dest="); empty for the other kinds.
std::string ParameterValue(const std::string& Parameter);

// The usage text: lines separated by a single carriage return, no break after the last line.
extern const char* const kUsageText;

// What the shell asks of the program before any window exists: the usage (--help, -h), the
// version (--version), or a run. The first such option anywhere on the line wins, so that a
// user who asks for help gets it instead of an error about the other parameters.
enum TProgramRequest { prRun, prHelp, prVersion };
TProgramRequest ProgramRequest(const std::vector<std::string>& Parameters);

// The usage text as a terminal shows it: line feeds for the carriage returns, and a final one.
std::string UsageForTerminal();

// "Source folder is not defined." and its kin: the first line, a carriage return, the usage.
std::string NotDefinedMessage(const std::string& FirstLine);

// " YYYYMMDD HHMMSS" for the given local time.
std::string TimeStamp(const std::tm& Local);
// Name with the stamp of Local inserted before its last "." (wherever that is, folders
// included), or appended when it has none.
std::string AddTimeStamp(const std::string& Name, const std::tm& Local);
// The same with the local date and time now.
std::string AddTimeStamp(const std::string& Name);

}  // namespace qm
