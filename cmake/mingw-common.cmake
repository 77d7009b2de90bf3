set(CMAKE_C_COMPILER ${KESTREL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTREL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Nothing beside the binaries: the C and C++ runtimes and winpthread go in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Every program built here runs under Wine, through the project's launcher.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
