// Runs a check without root's right to read every folder, so that permission tests mean
// something when the tests run as root.
#pragma once

#include <functional>

namespace qm::test {

// Runs Check as it is when the process is not root; as root, runs it in a child process that
// has become the user "nobody" (65534). Returns what Check returned (false when the child
// could not drop its rights or died). Folders Check must reach have to be open to others.
bool RunUnprivileged(const std::function<bool()>& Check);

}  // namespace qm::test
