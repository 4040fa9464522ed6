#include "zip/FileUtils.h"

#include <vector>

#include "platform/Exception.h"
#include "platform/FileStream.h"
#include "platform/UiHooks.h"

namespace qm {

int64_t CopyFileContents(const std::string& Source, const std::string& Dest) {
    TFileStream in(Source, fmOpenRead | fmShareDenyWrite);
    TFileStream out(Dest, fmCreate);
    std::vector<char> buffer(1 << 16);
    int64_t total = 0;
    for (;;) {
        const int32_t n = in.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0) break;
        if (out.Write(buffer.data(), n) != n)
            throw EWriteError("Stream write error. Could not write \"" + Dest + "\"");
        total += n;
    }
    if (!out.Close()) throw EWriteError("Stream write error. Could not write \"" + Dest + "\"");
    if (total == 0)
        UiHooks().MessageBox("Error", "Could not copy from " + Source + " -> " + Dest, miError,
                             mbOK, idOk);
    return total;
}

std::string ReadVolumeLabel(const std::string&) {
    return {};
}

bool WriteVolumeLabel(const std::string&, const std::string&) {
    return false;
}

}  // namespace qm
