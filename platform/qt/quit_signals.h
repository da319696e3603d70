// Termination signals as a clean shutdown through the event loop.
//
// SIGTERM (a logout, systemd, kill), SIGINT (Ctrl+C in a terminal) and
// SIGHUP (the terminal went away) would end the process on the spot, and
// the settings and the Studio written at exit would be lost. The handler
// only notes the signal in a pipe; the event loop of the thread that called
// QuitOnTerminationSignals reads it and runs `onSignal` there, which ends
// the loop the way closing the main window does.
#pragma once

#include <functional>

class QObject;

namespace lyb {

/// Installs the handlers for SIGTERM, SIGINT and SIGHUP. `onSignal` runs on
/// the calling thread's event loop with the signal number, once per signal
/// received. The notifier lives as long as `owner`. False when the handlers
/// cannot be installed (then the signals keep their default action).
bool QuitOnTerminationSignals(QObject* owner, std::function<void(int signal)> onSignal);

} // namespace lyb
