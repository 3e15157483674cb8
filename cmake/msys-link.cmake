# SPDX-License-Identifier: MIT
# The link of an executable for MSYS2's runtime, read after CMake's own rules for the platform:
# mingw-w64's ld with the runtime's start files and libraries, as MSYS2's GCC would call it.
set(lib_dir "${BRIMEL_MSYS_ROOT}/usr/lib")
string(JOIN " " CMAKE_CXX_LINK_EXECUTABLE
  "<CMAKE_LINKER> -m i386pep --image-base=0x100400000 -Bdynamic --tsaware --enable-auto-import"
  "<LINK_FLAGS> ${lib_dir}/crt0.o ${BRIMEL_MSYS_GCC}/crtbegin.o <OBJECTS> -o <TARGET> <LINK_LIBRARIES>"
  "-L${BRIMEL_MSYS_GCC} -L${lib_dir} -L${lib_dir}/w32api -lsupc++ -lgcc -lmsys-2.0"
  "-ladvapi32 -lshell32 -luser32 -lkernel32 -lgcc ${BRIMEL_MSYS_GCC}/crtend.o")
# Options are handed to ld itself, not through a compiler driver.
set(CMAKE_CXX_LINKER_WRAPPER_FLAG "")
set(CMAKE_CXX_LINKER_WRAPPER_FLAG_SEP "")
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
