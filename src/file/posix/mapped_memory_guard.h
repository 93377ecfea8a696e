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

}  // namespace ombrix::file::posix
