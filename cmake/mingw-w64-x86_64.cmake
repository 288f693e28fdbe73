# Windows x86-64 from Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix): the POSIX-thread
# compilers, for std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KITFORGE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KITFORGE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KITFORGE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KITFORGE_MINGW_TRIPLE}-windres)

# KITFORGE_WINDOWS_QT: a Qt built for Windows (cmake/qt-windows.sh prints where).
set(CMAKE_FIND_ROOT_PATH /usr/${KITFORGE_MINGW_TRIPLE} ${KITFORGE_WINDOWS_QT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime (libgcc, libstdc++, winpthread) linked in: the .exe runs without MinGW's DLLs
# beside it. Windows' own DLLs stay DLLs. Not with Qt's DLLs: C++ objects and exceptions cross
# between them and the program, so all must share one runtime, the DLLs.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KITFORGE_MINGW_STATIC KITFORGE_WINDOWS_QT)
if(NOT DEFINED KITFORGE_MINGW_STATIC OR KITFORGE_MINGW_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# Tests and programs run at build or test time run through Wine, in a prefix of the build's
# own so that no other build or user prefix is touched, and quiet.
find_program(KITFORGE_WINE NAMES wine wine64)
if(KITFORGE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all ${KITFORGE_WINE})
endif()
