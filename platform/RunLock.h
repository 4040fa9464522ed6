// One run per destination file. The lock is a name the kernel holds for the process (an
// abstract local socket): it lives exactly as long as the run holds it or the process lives,
// whatever ends the process; it names the destination, not one of its files, so it survives
// the rename that puts a new file in the destination's place; and it leaves nothing on the disk.
#pragma once

#include <string>

namespace qm {

class TRunLock {
  public:
    TRunLock() = default;
    ~TRunLock() { Unlock(); }
    TRunLock(const TRunLock&) = delete;
    TRunLock& operator=(const TRunLock&) = delete;

    // Takes the lock for Target (a resolved name, see ReplacementTarget): false when another
    // run, of this or another process, holds it. A Target whose folder does not exist locks
    // nothing and gives true: no run can write there.
    bool TryLock(const std::string& Target);
    void Unlock();
    bool Locked() const { return FFd >= 0; }

  private:
    int FFd = -1;
};

}  // namespace qm
