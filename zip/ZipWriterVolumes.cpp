// Volume output: an archive spread over several files (spanned over removable disks, or cut
// into blocks of a fixed size). Each file's compressed data goes to a staging file first and
// is then copied into the volumes in pieces that fit.
#include <algorithm>
#include <vector>

#include "platform/DiskSpace.h"
#include "platform/FileOps.h"
#include "platform/TempFile.h"
#include "zip/BufferStream.h"
#include "zip/BufferedFileStream.h"
#include "zip/StoredPath.h"
#include "zip/ZipErrors.h"
#include "zip/ZipWriter.h"
#include "zip/ZipWriterRun.h"
#include "zip/format/PercentOf.h"

namespace qm {

int64_t TZipWriter::VolumeCapacity(int Volume) {
    if (FMultiZipInfo.MultiMode == mmBlocks)
        return Volume == 0 ? FMultiZipInfo.FirstBlockSize : FMultiZipInfo.BlockSize;
    // Spanned: what the file system holding the archive can still take.
    std::string dir = DirectoryPart(FRun->OutFileName);
    int64_t free = DiskFree(dir.empty() ? "." : dir);
    if (free < 0) free = 0;
    if (Volume == 0) free -= FMultiZipInfo.SaveOnFirstDisk;
    return free;
}

int64_t TZipWriter::RoomLeft() {
    return FRun->VolumeCapacity - Out().Size();
}

void TZipWriter::EnsureRoom(int64_t Bytes) {
    if (VolumesOn() && RoomLeft() < Bytes) NextVolume();
}

void TZipWriter::NextVolume() {
    CloseOutput();
    // Volume labels do not exist here; WriteDiskLabels has nothing to write.
    FRun->VolumeFiles.push_back(FRun->OutFileName);
    ++FRun->Volume;
    std::string fileName = FRun->OutFileName;
    if (OnGetNextDisk) OnGetNextDisk(*this, FRun->Volume + 1, fileName);
    if (fileName.empty()) throw EUserCanceled(sidCanceledZipOp);
    if (FileExists(fileName)) DeleteFile(fileName);
    FRun->OutFileName = fileName;
    OpenOutput(FRun->OutFileName);
    if (FRun->VolumeCapacity <= 0) throw ENotEnoughRoom(sidNotEnoughRoom);
}

void TZipWriter::OpenStaging() {
    FRun->StageName = MakeTempFileName(ChooseTempFolder());
    FRun->Stage =
        std::make_unique<TBufferedFileStream>(FRun->StageName, fmCreate, FlushFilesOnClose());
}

void TZipWriter::CopyStagingToOutput(TZipHeaderInfo& Header) {
    if (!FRun->Stage->Finish()) throw ENotEnoughRoom(sidNotEnoughRoom);
    const int64_t staged = static_cast<int64_t>(Header.CompressedSize);
    const int64_t uncompressed = static_cast<int64_t>(Header.UncompressedSize);
    FRun->Stage->Seek(0, soBeginning);
    if (OnTotalPercentDone) FRun->TotalBytes -= uncompressed - staged;
    const bool reportPieces = static_cast<bool>(OnFilePercentDone);
    int64_t copied = 0;
    while (copied < staged) {
        if (RoomLeft() <= 0) NextVolume();
        int64_t piece = std::min<int64_t>(staged - copied, RoomLeft());
        if (reportPieces) piece = std::min<int64_t>(piece, 16000);
        if (Out().CopyFrom(*FRun->Stage, piece) != piece) throw ENotEnoughRoom(sidNotEnoughRoom);
        copied += piece;
        if (reportPieces) {
            OnFilePercentDone(*this, PercentOf(uncompressed + staged, uncompressed + copied));
            if (OnTotalPercentDone) {
                FRun->BytesDone += piece;
                OnTotalPercentDone(*this, PercentOf(FRun->TotalBytes, FRun->BytesDone));
            }
        }
    }
    FRun->DropStaging();
}

}  // namespace qm
