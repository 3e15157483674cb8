# SPDX-License-Identifier: MIT
# Cross-builds the relay on Linux for MSYS2's runtime (msys-2.0.dll, Cygwin's fork) with clang,
# against the runtime's own C and Windows headers, GCC's C++ headers and libraries of that
# installation, all under BRIMEL_MSYS_ROOT, and links with mingw-w64's GNU ld: clang's driver
# cannot link for this target itself. The result imports msys-2.0.dll and KERNEL32.dll only.
#   cmake --preset msys-wine [-D BRIMEL_MSYS_ROOT=/path/to/root]
set(CMAKE_SYSTEM_NAME MSYS)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-cygnus)
set(CMAKE_AR x86_64-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib CACHE FILEPATH "")
set(CMAKE_LINKER x86_64-w64-mingw32-ld CACHE FILEPATH "")

get_filename_component(default_root "${CMAKE_CURRENT_LIST_DIR}/../../shared/msys-wine/root" ABSOLUTE)
set(BRIMEL_MSYS_ROOT "${default_root}" CACHE PATH "The MSYS2 installation's root, with usr/")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRIMEL_MSYS_ROOT)
set(BRIMEL_MSYS_GCC "${BRIMEL_MSYS_ROOT}/usr/lib/gcc/x86_64-pc-msys/9.1.0") # also for the link rule
if(NOT EXISTS "${BRIMEL_MSYS_GCC}/include/c++/cstdlib")
  message(FATAL_ERROR "couldn't find MSYS2's GCC headers under ${BRIMEL_MSYS_ROOT}")
endif()

# Only the installation's headers. MSYS2's compiler defines __MSYS__ beside __CYGWIN__, and its
# windows.h pulls in GCC's x86 intrinsic headers, which clang rejects: their guards keep them out.
string(JOIN " " CMAKE_CXX_FLAGS_INIT -D__MSYS__ -fno-exceptions -fno-rtti -nostdinc -nostdinc++
  "-isystem ${BRIMEL_MSYS_GCC}/include/c++" "-isystem ${BRIMEL_MSYS_GCC}/include/c++/x86_64-pc-msys"
  "-isystem ${BRIMEL_MSYS_GCC}/include" "-isystem ${BRIMEL_MSYS_ROOT}/usr/include"
  "-isystem ${BRIMEL_MSYS_ROOT}/usr/include/w32api"
  -D_X86INTRIN_H_INCLUDED -D_EMMINTRIN_H_INCLUDED -D_XMMINTRIN_H_INCLUDED)

# Configuration checks compile without linking; the link rule below is ld's own.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX "${CMAKE_CURRENT_LIST_DIR}/msys-link.cmake")
set(CMAKE_FIND_ROOT_PATH "${BRIMEL_MSYS_ROOT}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
