# Cross-building the Windows programs on Debian: Debian's MinGW-w64 (posix
# threads) against a Qt built with it. CALVENORI_QT_MINGW names that Qt's
# folder; by default the one scripts/setup.sh unpacks into build/qt-mingw64.
# Qt's host tools (moc, rcc, uic) are Debian's own Qt of the same version.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT CALVENORI_QT_MINGW)
  if(DEFINED ENV{CALVENORI_QT_MINGW})
    set(CALVENORI_QT_MINGW "$ENV{CALVENORI_QT_MINGW}")
  else()
    get_filename_component(CALVENORI_QT_MINGW "${CMAKE_CURRENT_LIST_DIR}/../build/qt-mingw64/qt-6.4.2-mingw64"
                           ABSOLUTE)
  endif()
endif()
set(CALVENORI_QT_MINGW "${CALVENORI_QT_MINGW}" CACHE PATH "Qt for MinGW-w64 (the unpacked toolchain archive)")
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine, whose moc, rcc and uic are used")

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${CALVENORI_QT_MINGW}")
set(CMAKE_PREFIX_PATH "${CALVENORI_QT_MINGW}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
