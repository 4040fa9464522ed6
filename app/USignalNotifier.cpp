#include "app/USignalNotifier.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace qm {

namespace {

int Pipe[2] = {-1, -1};

void OnSignal(int Signal) {
    const int saved = errno;
    unsigned char byte = static_cast<unsigned char>(Signal);
    [[maybe_unused]] ssize_t n = ::write(Pipe[1], &byte, 1);
    errno = saved;
}

void SetHandler(void (*Handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = Handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A closed terminal must not kill a run half-way: it cancels it, and the run cleans up.
    sigaction(SIGHUP, &sa, nullptr);
}

}  // namespace

TSignalNotifier::TSignalNotifier(QObject* Parent) : QObject(Parent) {
    if (Pipe[0] < 0 && ::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    FNotifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSignalNotifier::ReadPipe);
    SetHandler(OnSignal);
}

TSignalNotifier::~TSignalNotifier() {
    if (FNotifier) SetHandler(SIG_DFL);
}

void TSignalNotifier::ReadPipe() {
    unsigned char byte = 0;
    while (::read(Pipe[0], &byte, 1) == 1) emit Received(byte);
}

}  // namespace qm
