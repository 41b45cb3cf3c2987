# Project-wide warning flags, applied per target so third-party code (GoogleTest) keeps its own.
function(tavori_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wconversion -Wno-sign-conversion)
  endif()
endfunction()
