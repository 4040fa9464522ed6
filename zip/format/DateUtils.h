// DOS date-time repair and the file dates the writer compares.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DosDateTime.h"

namespace qm {

// Clamps each field of a DOS date-time into its range (hour <= 23, minute and second <= 59,
// year 1980-2099, month 1-12, day 1-31). A valid value comes back bit for bit; otherwise all
// fields are repacked (seconds as second / 2). A day beyond the month's length passes.
uint32_t ClampDosDateTime(uint32_t Value);

// The file's last-write time (local; a link's own) through ClampDosDateTime; a missing file or a
// folder gives 2099-12-31 23:59:58, a stamp that does not convert the current local date and time.
// Never raises.
TDateTime GetFileDateTime(const std::string& FileName);

}  // namespace qm
