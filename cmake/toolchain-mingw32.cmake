# Built and linked only: the build machines' kernel runs no 32-bit programs (ia32 emulation off), so
# 32-bit Wine installs there but cannot start ("Exec format error"); ./run test checks the imports.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVORI_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 is the baseline of every processor the shipped build supports; without it the detector's
# vector paths and the floating-point code fall back to x87 and portable loops.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
