// The archive component's exceptions and its message table.
//
// Every message the reader and the writer raise or show comes from one table of texts with
// identifiers 176 to 206; ZipMessage(Id) loads one when it is needed. Texts use a single
// carriage return (0x0D) as line break.
#pragma once

#include <string>
#include <utility>

#include "platform/Exception.h"

namespace qm {

// Identifiers of the message table. Ids in 176..206 without a constant here hold no text.
inline constexpr int sidOpenZipTitle = 176;     // "Open a Zip File"
inline constexpr int sidOpenZipFilter = 177;    // filter of the open dialog
inline constexpr int sidCanceledDestDir = 178;  // "User canceled Set Desination Directory"
inline constexpr int sidIndexOutOfRange = 179;  // "Index %d is out of range"
inline constexpr int sidUserAborted = 181;      // "User Aborted Operation"
inline constexpr int sidIncompleteZip = 182;    // "Incomplete Zip File"
inline constexpr int sidNotAValidZip = 183;     // "Not a valid zip file!"
inline constexpr int sidInsertDisk = 184;       // "Please insert disk "
inline constexpr int sidOfMultiDiskSet = 185;   // " of the multi-disk set."
inline constexpr int sidCanceledZipName = 186;  // "User canceled setting zip file name."
inline constexpr int sidCanceledZipOp = 187;    // "User canceled Zip operation"
inline constexpr int sidNotEnoughRoom = 188;    // "Not enough room to write archive"
inline constexpr int sidCannotCreateZfc = 189;  // "Unable to create Zip Configuration File to disk"
inline constexpr int sidCannotSaveZfc = 190;    // "Unable to save Zip Configuration File to disk"
inline constexpr int sidFirstMessage = 176;
inline constexpr int sidLastMessage = 206;

// The text of message Id; empty for an id that holds no text or lies outside the table.
std::string ZipMessage(int Id);

// Archive errors. Each can be built from a message id (the usual way) or from a text.
class EZipError : public Exception {
  public:
    using Exception::Exception;
    explicit EZipError(int MessageId) : Exception(ZipMessage(MessageId)) {}
};

// The directory of the archive is damaged: no central record where the end record says.
class EBadZipFile : public EZipError {
  public:
    using EZipError::EZipError;
};
// No end record: possibly one volume of a multi-volume set.
class EIncompleteZip : public EZipError {
  public:
    using EZipError::EZipError;
};
// No end record, and the caller said such a file is no archive at all.
class ENotAZipFile : public EZipError {
  public:
    using EZipError::EZipError;
};
// The user (or a handler on the user's behalf) stopped the operation.
class EUserCanceled : public EZipError {
  public:
    using EZipError::EZipError;
};
// The output medium took fewer bytes than were written.
class ENotEnoughRoom : public EZipError {
  public:
    using EZipError::EZipError;
};

// Another run holds the lock of the archive this run would write; nothing was written.
class EArchiveInUse : public EZipError {
  public:
    using EZipError::EZipError;
};

// The archive just written did not read back as written; it was not put in place.
class ECheckFailed : public EZipError {
  public:
    ECheckFailed(const std::string& Name, std::string Reason)
        : EZipError("Back-up check failed: " + Name + ": " + Reason), FReason(std::move(Reason)) {}
    const std::string& Reason() const { return FReason; }

  private:
    std::string FReason;
};

// The list classes' error: an index outside the list, a refused capacity, a duplicate under
// the error policy, a put into a sorted list.
class EListError : public Exception {
  public:
    using Exception::Exception;
};

// EListError with message 179 formatted with Index.
[[noreturn]] void RaiseIndexOutOfRange(long long Index);

}  // namespace qm
