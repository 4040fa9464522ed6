// The application object: the one place where an error that reached the event loop is shown
// (in the error box) instead of ending the program.
#pragma once

#include <QApplication>

namespace qm {

class TQMApplication : public QApplication {
    Q_OBJECT

  public:
    TQMApplication(int& Argc, char** Argv);

    bool notify(QObject* Receiver, QEvent* Event) override;
};

}  // namespace qm
