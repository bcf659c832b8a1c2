# 64-bit Windows (x86_64-w64-mingw32); its programs run under Wine.
set(VORN_MINGW_TRIPLET x86_64-w64-mingw32)
set(VORN_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
