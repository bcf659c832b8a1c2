# 32-bit Windows (i686-w64-mingw32), the real host's platform. SSE2
# arithmetic as in the m32 build. The host's compiler keeps its stack aligned
# to 4 bytes only, so code called from it must not assume GCC's 16: functions
# that keep SSE values on the stack realign it themselves.
set(VORN_MINGW_TRIPLET i686-w64-mingw32)
set(VORN_MINGW_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
