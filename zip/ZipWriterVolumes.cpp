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
#include "zip/format/PercentOf.h"

namespace qm {

int64_t TZipWriter::VolumeCapacity(int Volume) {
    if (FMultiZipInfo.MultiMode == mmBlocks)
        return Volume == 0 ? FMultiZipInfo.FirstBlockSize : FMultiZipInfo.BlockSize;
    // Spanned: what the file system holding the archive can still take.
    std::string dir = DirectoryPart(FOutFileName);
    int64_t free = DiskFree(dir.empty() ? "." : dir);
    if (free < 0) free = 0;
    if (Volume == 0) free -= FMultiZipInfo.SaveOnFirstDisk;
    return free;
}

int64_t TZipWriter::RoomLeft() {
    return FVolumeCapacity - Out().Size();
}

void TZipWriter::EnsureRoom(int64_t Bytes) {
    if (VolumesOn() && RoomLeft() < Bytes) NextVolume();
}

void TZipWriter::NextVolume() {
    CloseOutput();
    // Volume labels do not exist here; WriteDiskLabels has nothing to write.
    FVolumeFiles.push_back(FOutFileName);
    ++FVolume;
    std::string fileName = FOutFileName;
    if (OnGetNextDisk) OnGetNextDisk(*this, FVolume + 1, fileName);
    if (fileName.empty()) throw EUserCanceled(sidCanceledZipOp);
    if (FileExists(fileName)) DeleteFile(fileName);
    FOutFileName = fileName;
    OpenOutput(FOutFileName);
    if (FVolumeCapacity <= 0) throw ENotEnoughRoom(sidNotEnoughRoom);
}

void TZipWriter::OpenStaging() {
    FStageName = MakeTempFileName(ChooseTempFolder());
    FStage = std::make_unique<TBufferedFileStream>(FStageName, fmCreate, FlushFilesOnClose());
}

void TZipWriter::DropStaging() {
    FStage.reset();
    if (!FStageName.empty()) DeleteFile(FStageName);
    FStageName.clear();
}

void TZipWriter::CopyStagingToOutput(TZipHeaderInfo& Header) {
    if (!FStage->Finish()) throw ENotEnoughRoom(sidNotEnoughRoom);
    const int64_t staged = static_cast<int64_t>(Header.CompressedSize);
    const int64_t uncompressed = static_cast<int64_t>(Header.UncompressedSize);
    FStage->Seek(0, soBeginning);
    if (OnTotalPercentDone) FTotalBytes -= uncompressed - staged;
    const bool reportPieces = static_cast<bool>(OnFilePercentDone);
    int64_t copied = 0;
    while (copied < staged) {
        if (RoomLeft() <= 0) NextVolume();
        int64_t piece = std::min<int64_t>(staged - copied, RoomLeft());
        if (reportPieces) piece = std::min<int64_t>(piece, 16000);
        if (Out().CopyFrom(*FStage, piece) != piece) throw ENotEnoughRoom(sidNotEnoughRoom);
        copied += piece;
        if (reportPieces) {
            OnFilePercentDone(*this, PercentOf(uncompressed + staged, uncompressed + copied));
            if (OnTotalPercentDone) {
                FBytesDone += piece;
                OnTotalPercentDone(*this, PercentOf(FTotalBytes, FBytesDone));
            }
        }
    }
    DropStaging();
}

}  // namespace qm
