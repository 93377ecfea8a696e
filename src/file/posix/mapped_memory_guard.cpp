#include "file/posix/mapped_memory_guard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "file/file_exceptions.h"

namespace ombrix::file::posix {

namespace {

struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* outer;
  // Faults on [first, first + length) resume on a zero page instead of jumping.
  std::uintptr_t first = 0;
  std::uintptr_t length = 0;
  volatile sig_atomic_t replaced = 0;
};

// Read by the handler, so fixed before the handler is installed.
std::uintptr_t pageSize = 0;

// Replaces the page holding `address` with a private zero-filled page when the frame
// resumes faults there. Only memory the frame named is ever replaced.
bool ReplacePage(GuardFrame* frame, const siginfo_t* info) {
  if (frame->length == 0 || info == nullptr || info->si_code <= 0) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  if (address < frame->first || address - frame->first >= frame->length) return false;
  const int savedErrno = errno;
  void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
  void* mapped = ::mmap(page, pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
  errno = savedErrno;
  if (mapped == MAP_FAILED) return false;
  frame->replaced = 1;
  return true;
}

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
    // Returning re-runs the faulting access, which now reads the zero page.
    if (ReplacePage(frame, info)) return;
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
  pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
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

namespace {

bool Run(void (*action)(void*), void* argument, std::uintptr_t first, std::uintptr_t length) {
  EnsureInstalled();
  GuardFrame frame;
  frame.first = first;
  frame.length = length;
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
    // The action saw zero pages in place of the file: that is the failure to report,
    // whatever the action made of those bytes.
    if (frame.replaced != 0) throw InvalidMapException();
    throw;
  }
  innermost = frame.outer;
  return frame.replaced == 0;
}

}  // namespace

bool RunGuarded(void (*action)(void*), void* argument) { return Run(action, argument, 0, 0); }

bool RunResuming(void (*action)(void*), void* argument, void* first, std::size_t length) {
  return Run(action, argument, reinterpret_cast<std::uintptr_t>(first), length);
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
