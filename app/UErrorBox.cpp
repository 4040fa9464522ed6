#include "app/UErrorBox.h"

#include <exception>

#include "platform/UiHooks.h"

namespace qm {

void ShowErrorBox(const std::string& Message) {
    UiHooks().MessageBox("Error", Message, miError, mbOK, idOk);
}

bool RunGuarded(const std::function<void()>& Action) {
    try {
        Action();
        return true;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
    return false;
}

}  // namespace qm
