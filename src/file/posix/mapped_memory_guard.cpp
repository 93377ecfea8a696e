#include "file/posix/mapped_memory_guard.h"

#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

#include "file/file_exceptions.h"

namespace ombrix::file::posix {

namespace {

struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* outer;
};

// The innermost guard of this thread. A plain pointer with static initialization,
// so the signal handler reads it without any lazy TLS set-up.
thread_local GuardFrame* innermost __attribute__((tls_model("initial-exec"))) = nullptr;

struct sigaction previousAction;

void Unblock(int signal) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  if (GuardFrame* frame = innermost; frame != nullptr) {
    innermost = frame->outer;
    siglongjmp(frame->jump, 1);
  }
  // Not ours: hand the fault to whoever handled it before us.
  if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
    if (previousAction.sa_sigaction != nullptr) previousAction.sa_sigaction(signal, info, context);
    return;
  }
  if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
    previousAction.sa_handler(signal);
    return;
  }
  const bool sentByProcess = info != nullptr && info->si_code <= 0;
  if (previousAction.sa_handler == SIG_IGN && sentByProcess) return;
  // Default action: restore it. A fault re-executes the instruction on return and
  // terminates; a signal sent with kill or raise is raised again.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  if (sentByProcess) raise(signal);
}

void Install() {
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  // SA_NODEFER keeps SIGBUS unblocked after the jump out of the handler, so the jump
  // target need not save and restore the signal mask (a system call per guard).
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &previousAction);
}

void EnsureInstalled() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace

void ThrowInvalidMap() { throw InvalidMapException(); }

bool RunGuarded(void (*action)(void*), void* argument) {
  EnsureInstalled();
  GuardFrame frame;
  frame.outer = innermost;
  if (sigsetjmp(frame.jump, 0) != 0) {
    // The handler has already popped the frame.
    Unblock(SIGBUS);
    return false;
  }
  innermost = &frame;
  try {
    action(argument);
  } catch (...) {
    innermost = frame.outer;
    throw;
  }
  innermost = frame.outer;
  return true;
}

void GuardedCopy(void* to, const void* from, std::size_t count) {
  struct Copy {
    void* to;
    const void* from;
    std::size_t count;
  } copy{to, from, count};
  if (!RunGuarded([](void* c) {
        auto* self = static_cast<Copy*>(c);
        std::memcpy(self->to, self->from, self->count);
      },
      &copy)) {
    throw InvalidMapException();
  }
}

}  // namespace ombrix::file::posix
