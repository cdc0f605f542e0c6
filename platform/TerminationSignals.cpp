#include "platform/TerminationSignals.h"

#include <unistd.h>

#include "platform/AtomicFile.h"

namespace skelvane {
namespace {

// Exit status a shell reports for a process ended by a signal: used only should the signal not end it.
constexpr int kSignalExitBase = 128;

bool IsIgnored(int signalNumber) {
  struct sigaction current {};
  return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Async-signal-safe throughout: unlink, sigaction, sigprocmask and raise.
void OnTerminatingSignal(int signalNumber) {
  AtomicFile::RemovePendingFromSignal();
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(signalNumber, &defaultAction, nullptr);
  // Blocked while this handler runs, the signal raised again ends the process as soon as it returns.
  ::raise(signalNumber);
}

}  // namespace

void TerminationSignals::Install() {
  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  // The removal is not interrupted by a second signal of the set.
  for (const int signalNumber : kSignals) sigaddset(&action.sa_mask, signalNumber);
  for (const int signalNumber : kSignals) {
    if (!IsIgnored(signalNumber)) ::sigaction(signalNumber, &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

void TerminationSignals::AddHandled(sigset_t& set) {
  for (const int signalNumber : kSignals) {
    if (!IsIgnored(signalNumber)) sigaddset(&set, signalNumber);
  }
}

void TerminationSignals::EndBy(int signalNumber) {
  AtomicFile::RemovePendingFromSignal();
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(signalNumber, &defaultAction, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signalNumber);
  ::_exit(kSignalExitBase + signalNumber);
}

}  // namespace skelvane
