#include "app/UApplication.h"

#include "app/UErrorBox.h"

namespace qm {

TQMApplication::TQMApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {}

bool TQMApplication::notify(QObject* Receiver, QEvent* Event) {
    bool handled = false;
    // No error may end the program: it is shown and the event loop goes on.
    RunGuarded([&] { handled = QApplication::notify(Receiver, Event); });
    return handled;
}

}  // namespace qm
