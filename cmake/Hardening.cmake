# The protections distributions give their own programs, for the game's
# native builds: the game reads pictures and sounds that a player may swap
# for anything. zephrin_harden(<target>...) applies them to the targets named.
#
#   every native build   stack protector (strong); _FORTIFY_SOURCE (3 where
#                        the compiler can size objects at run time, else 2)
#                        in optimised builds, as it needs the optimiser
#   Linux (ELF)          stack clash protection and CET where the target has
#                        them; PIE; full RELRO with immediate binding
#   Windows (MinGW)      libssp linked in statically with the runtime, and
#                        ASLR (DYNAMIC_BASE, HIGH_ENTROPY_VA on x64) and DEP
#                        (NX_COMPAT) in the PE header
#
# The sanitizer build keeps its own instrumentation, and the browser build
# runs in a sandbox of its own: neither is hardened.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckPIESupported)

set(zephrin_hardened FALSE)
if(NOT EMSCRIPTEN AND NOT ZEPHRIN_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(zephrin_hardened TRUE)
endif()

if(zephrin_hardened)
  set(ZEPHRIN_HARDENING_COMPILE -fstack-protector-strong)
  set(ZEPHRIN_HARDENING_LINK -fstack-protector-strong)

  # Level 3 needs __builtin_dynamic_object_size (GCC 12, clang 9); the C
  # library falls back to level 2 by itself where it has no level 3.
  check_cxx_source_compiles("int main(int argc, char**) { char b[4]; \
return static_cast<int>(__builtin_dynamic_object_size(b + argc, 0)); }"
                            ZEPHRIN_HAVE_DYNAMIC_OBJECT_SIZE)
  set(fortify 2)
  if(ZEPHRIN_HAVE_DYNAMIC_OBJECT_SIZE)
    set(fortify 3)
  endif()
  # Undefined first: some compilers predefine a level of their own.
  set(optimised "$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>")
  list(APPEND ZEPHRIN_HARDENING_COMPILE "$<${optimised}:-U_FORTIFY_SOURCE>"
       "$<${optimised}:-D_FORTIFY_SOURCE=${fortify}>")

  if(WIN32)
    # The linker flags go through the compiler driver, which also links
    # libssp for the stack protector (statically, with -static).
    list(APPEND ZEPHRIN_HARDENING_LINK -Wl,--dynamicbase -Wl,--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      list(APPEND ZEPHRIN_HARDENING_LINK -Wl,--high-entropy-va)
    endif()
  else()
    foreach(flag -fstack-clash-protection -fcf-protection)
      string(MAKE_C_IDENTIFIER "ZEPHRIN_HAVE${flag}" have)
      check_cxx_compiler_flag(${flag} ${have})
      if(${have})
        list(APPEND ZEPHRIN_HARDENING_COMPILE ${flag})
      endif()
    endforeach()
    list(APPEND ZEPHRIN_HARDENING_LINK -Wl,-z,relro -Wl,-z,now)
    check_pie_supported(LANGUAGES CXX)
  endif()
endif()

function(zephrin_harden)
  if(NOT zephrin_hardened)
    return()
  endif()
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE ${ZEPHRIN_HARDENING_COMPILE})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE ${ZEPHRIN_HARDENING_LINK})
    else()
      # Whatever links the library's fortified calls needs their checking
      # versions, which MinGW has in the libssp that this flag links.
      target_link_options(${target} INTERFACE -fstack-protector-strong)
    endif()
    if(NOT WIN32)
      set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    endif()
  endforeach()
endfunction()
