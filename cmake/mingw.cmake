# MinGW-w64 GCC on a Debian host, for the processor that WTSSCOPE_MINGW_CPU names (x86_64 or i686).
# On a Windows host (MSYS2) the shell's own compiler builds for itself: nothing to set.
if(CMAKE_HOST_WIN32)
  return()
endif()
# try_compile reads this file again in a project of its own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WTSSCOPE_MINGW_CPU)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${WTSSCOPE_MINGW_CPU})
set(triple ${WTSSCOPE_MINGW_CPU}-w64-mingw32)
# The posix thread model: GoogleTest needs std::mutex, which the win32 model of GCC 12 lacks.
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
if(WTSSCOPE_MINGW_CPU STREQUAL "i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec win32)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec win64)
endif()
