# Windows with Debian's mingw-w64 cross compilers, for the triplet that
# win64.cmake or win32.cmake names. The posix thread model: the win32 one of
# GCC 12 has no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VORN_MINGW_PROCESSOR})
set(CMAKE_C_COMPILER ${VORN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW_TRIPLET}-windres)

# The compilers' own Windows headers and libraries, and the libraries
# scripts/cross-deps builds for this triplet; nothing of the build machine's.
get_filename_component(VORN_CROSS_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/deps/${VORN_MINGW_TRIPLET} ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_TRIPLET} ${VORN_CROSS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtimes (libgcc, libstdc++, winpthread) are linked in, so
# programs and plug-in DLLs run with nothing beside them but system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
