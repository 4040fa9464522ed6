#include "zip/BufferedFileStream.h"

namespace qm {

TBufferedFileStream::TBufferedFileStream(const std::string& FileName, unsigned Mode,
                                         bool FlushOnClose)
    : detail::TOwnedFile(FileName, Mode), TBufferStream(FFile) {
    if (FlushOnClose && (Mode & 3u) != 0) SetFlushOnDestroy(true);
}

TBufferedFileStream::~TBufferedFileStream() {
    Close();
}

void TBufferedFileStream::SetSize(int64_t NewSize) {
    int64_t pos = Position();
    Finish();  // pending bytes must land before the file is cut
    FFile.SetSize(NewSize);
    if (pos < NewSize) Seek(pos, 0);
}

bool TBufferedFileStream::Close() {
    bool ok = Finish();
    return FFile.Close() && ok;
}

}  // namespace qm
