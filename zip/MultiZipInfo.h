// The writer's multi-volume settings. Assignment copies the fields.
#pragma once

#include <cstdint>

#include "zip/ZipReader.h"

namespace qm {

struct TMultiZipInfo {
    TMultiMode MultiMode = mmNone;
    int64_t BlockSize = 1457600;
    int64_t FirstBlockSize = 1457600;
    // Bytes kept free on the first volume of a spanned set.
    int32_t SaveOnFirstDisk = 0;
    bool SaveZipInfoOnFirstDisk = false;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
};

}  // namespace qm
