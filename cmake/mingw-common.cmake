# The -posix compilers: the win32 thread model has no std::thread / std::mutex.
set(CMAKE_C_COMPILER ${TAVORI_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVORI_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVORI_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVORI_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One self-contained .exe: only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
