# OMBRIX_SANITIZE selects the runtime checks of a build:
#   ""                  none (default)
#   "address;undefined" AddressSanitizer and UndefinedBehaviorSanitizer (CI)
#   "thread"            ThreadSanitizer (local runs of the thread-heavy tests)
set(OMBRIX_SANITIZE "" CACHE STRING "Sanitizers: empty, 'address;undefined' or 'thread'")

if(OMBRIX_SANITIZE)
  list(JOIN OMBRIX_SANITIZE "," sanitizerList)
  add_compile_options(-fsanitize=${sanitizerList} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${sanitizerList})
endif()
