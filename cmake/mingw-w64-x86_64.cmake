# Cross build for Windows x86-64 with Debian's MinGW-w64 (posix threads flavour,
# which std::thread and GoogleTest need). Unit tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TECLIX_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${TECLIX_MINGW_PREFIX}-gcc-posix ${TECLIX_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${TECLIX_MINGW_PREFIX}-g++-posix ${TECLIX_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${TECLIX_MINGW_PREFIX}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${tool})
    message(FATAL_ERROR "MinGW-w64 tool for ${tool} not found: run scripts/install-deps.sh")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TECLIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(TECLIX_WINE NAMES wine)
if(NOT TECLIX_WINE)
  message(FATAL_ERROR "wine not found: run scripts/install-deps.sh")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
