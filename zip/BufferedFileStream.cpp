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
    Finish();  // pending bytes must land before the file is cut
    // The read-ahead may hold bytes that the cut removes; the file's own position is then the
    // stream's, and the file stream moves it to the new end when it lay beyond.
    DropReadAhead();
    FFile.SetSize(NewSize);
}

bool TBufferedFileStream::Close() {
    bool ok = Finish();
    return FFile.Close() && ok;
}

}  // namespace qm
