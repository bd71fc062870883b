# Debian's clang for x86_64-w64-mingw32, on a Debian host, against the headers and libraries that
# the MinGW-w64 GCC uses: its posix-thread libstdc++ and the MinGW-w64 runtime, with binutils'
# windres. Clang cannot find that GCC by itself (it reads "12-posix" as no version), so the places
# are asked of GCC and given to clang.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)

execute_process(COMMAND ${triple}-g++-posix -print-file-name=libstdc++.a
                OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${libstdcxx}")
  message(FATAL_ERROR "${triple}-g++-posix is needed for its libstdc++ (run scripts/deps)")
endif()
get_filename_component(gcc_lib_dir ${libstdcxx} DIRECTORY)
set(cxx_include ${gcc_lib_dir}/include/c++)
set(sysroot /usr/${triple})

set(CMAKE_SYSROOT ${sysroot})
string(JOIN " " CMAKE_CXX_FLAGS_INIT -stdlib++-isystem ${cxx_include}
       -stdlib++-isystem ${cxx_include}/${triple} -stdlib++-isystem ${cxx_include}/backward)
# -B finds GCC's crtbegin.o and crtend.o, -L its libraries; libstdc++ with posix threads needs
# winpthreads, which clang links only when asked. LLVM's linker: binutils' warns wherever a test
# program throws, as clang's copy of a standard exception's type name differs in size from GCC's.
string(JOIN " " CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld -B${gcc_lib_dir} -L${gcc_lib_dir} -pthread)
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${CMAKE_EXE_LINKER_FLAGS_INIT})

set(CMAKE_FIND_ROOT_PATH ${sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec win64)
