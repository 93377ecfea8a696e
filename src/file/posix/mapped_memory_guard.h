// Catching faults raised while touching memory mapped from a file.
#pragma once

#include <cstddef>
#include <type_traits>

namespace ombrix::file::posix {

// Runs action(argument) on the calling thread. When touching mapped memory raises
// SIGBUS (the file shrank under the mapping, or the medium behind it failed) the
// action is abandoned at the fault and RunGuarded returns false; otherwise true.
// Exceptions from the action propagate.
//
// Guarantees: safe with any number of threads guarding at once (each thread has its
// own jump target) and with nested guards. The SIGBUS handler is installed once per
// process; a SIGBUS outside any guard goes to the handler that was in place before
// (or the default action). An abandoned action is left without unwinding its
// frames, so actions must own nothing that needs a destructor.
bool RunGuarded(void (*action)(void*), void* argument);

// Runs action(argument) like RunGuarded, except that a fault on a byte of
// [first, first + length) does not abandon the action: the faulting page is replaced
// by a private zero-filled page and the action goes on to its end, destructors
// included. Returns false when that happened (the replaced pages no longer show the
// file; the caller must stop using the range); an exception the action throws after
// that becomes InvalidMapException. For actions that are not ours (a
// caller's callable), which may own locks or memory. A fault outside the range
// abandons the action as RunGuarded does.
bool RunResuming(void (*action)(void*), void* argument, void* first, std::size_t length);

// Copies `count` bytes; InvalidMapException when the copy faults.
void GuardedCopy(void* to, const void* from, std::size_t count);

// Throws InvalidMapException.
[[noreturn]] void ThrowInvalidMap();

// Runs `function()`; InvalidMapException when it faults (see RunGuarded).
template <typename Function>
void Guarded(Function&& function) {
  using Plain = std::remove_reference_t<Function>;
  if (!RunGuarded([](void* f) { (*static_cast<Plain*>(f))(); }, &function)) ThrowInvalidMap();
}

// Runs `function()` under RunResuming; InvalidMapException when it faulted.
template <typename Function>
void Resuming(Function&& function, void* first, std::size_t length) {
  using Plain = std::remove_reference_t<Function>;
  if (!RunResuming([](void* f) { (*static_cast<Plain*>(f))(); }, &function, first, length)) ThrowInvalidMap();
}

}  // namespace ombrix::file::posix
