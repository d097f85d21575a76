# Debian's usual hardening (what dpkg-buildflags gives with hardening=+all)
# for the optimised configurations: the Debian package is made from the
# tests' own build folder (scripts/package), so it is hardened without a
# second compile. Position-independent executables are the toolchain's
# default on Debian; forcing -fPIE here would clash with the -fPIC that Qt
# asks of the workstation's code. The sanitizer and fuzz builds stay
# without: AddressSanitizer and _FORTIFY_SOURCE wrap the same functions.
option(DELVORA_HARDEN "Build the optimised configurations with Debian's hardening flags" ON)
if(NOT DELVORA_HARDEN OR DELVORA_SANITIZE OR DELVORA_BUILD_FUZZ OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

include(CheckCXXCompilerFlag)
set(DELVORA_OPTIMISED "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
# -U first: a toolchain that defines its own level would warn of a redefinition.
add_compile_options("$<${DELVORA_OPTIMISED}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
# Not every target knows every flag (-fcf-protection is x86 only).
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "DELVORA_HAS${flag}" known)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    add_compile_options("$<${DELVORA_OPTIMISED}:${flag}>")
  endif()
endforeach()
add_link_options("$<${DELVORA_OPTIMISED}:LINKER:-z,relro;LINKER:-z,now>")
