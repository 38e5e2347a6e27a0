# The hardening Debian builds its own packages with, so the programs we
# ship resist the usual memory-corruption attacks as well as theirs do:
# stack canaries, the checked variants of glibc's string and memory
# functions, relocations made read-only before main runs, and
# position-independent executables for address randomisation.
#
# Left out of the sanitizer and fuzzer builds: those instrument the same
# calls themselves, and the checked glibc variants would hide accesses from
# AddressSanitizer.
option(QUILLON_HARDENING "Build with stack protection, fortified glibc calls, full RELRO and PIE" ON)

if(QUILLON_HARDENING AND NOT QUILLON_SANITIZE AND NOT QUILLON_FUZZ)
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong)
  # The checked variants need the optimiser; without it glibc only warns.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro,-z,now)
endif()
