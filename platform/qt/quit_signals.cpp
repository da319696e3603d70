#include "platform/qt/quit_signals.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lyb {

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void NoteSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    (void)!::write(g_pipe[1], &number, 1); // async-signal-safe; a full pipe drops it
    errno = saved;
}

} // namespace

bool QuitOnTerminationSignals(QObject* owner, std::function<void(int signal)> onSignal) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onSignal] {
        unsigned char number = 0;
        while (::read(g_pipe[0], &number, 1) == 1)
            if (onSignal)
                onSignal(number);
    });
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
    return ok;
}

} // namespace lyb
