# Cross build for 64-bit Windows with Debian's mingw-w64 compilers (posix threads, so that
# std::thread and std::mutex work): g++-mingw-w64-x86-64-posix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELKARO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELKARO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELKARO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELKARO_MINGW_TRIPLET}-windres)

# Headers and libraries of the target only; programs (windres, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELKARO_MINGW_TRIPLET})
# A Qt built for Windows (scripts/build-qt-windows.sh) is a second root of target files.
if(VELKARO_QT_WINDOWS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VELKARO_QT_WINDOWS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes into each .exe, so they run on a Windows without any MinGW DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and test discovery run the .exe files through Wine.
find_program(VELKARO_WINE NAMES wine wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELKARO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELKARO_WINE})
endif()
