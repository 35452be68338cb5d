# The bird's motion is written as double-precision steps, each rounded on
# its own: velocity = gravity x 0.4 + velocity, then y = velocity x 0.4 + y.
# Compilers may fuse such a multiply and add into one instruction that rounds
# once (GCC does by default wherever the processor has one: arm64, ppc64el,
# s390x, riscv64, x86 from Haswell on), and the 32-bit x86 floating-point
# unit keeps 64-bit mantissas between steps. Either way the bird drifts a
# pixel from where it flies everywhere else. zephrin_exact_math, linked by
# the game's own targets, rounds every step as written:
#
#   GCC, Clang (emcc too)  -ffp-contract=off, after any flags from outside
#                          (CXXFLAGS, -march=native), so they cannot undo it
#   32-bit x86             SSE2 arithmetic (-msse2 -mfpmath=sse), as on
#                          Windows: every x86 processor since 2003 has it
#
# A compiler that cannot be told so stops the build here.
include(CheckCXXSourceCompiles)

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID} cannot be told to round the game's arithmetic "
                      "step by step; build with GCC or Clang")
endif()
set(ZEPHRIN_EXACT_MATH_OPTIONS -ffp-contract=off)
check_cxx_source_compiles("#if !defined(__i386__)
#error not 32-bit x86
#endif
int main() {}" ZEPHRIN_TARGET_X86_32)
if(ZEPHRIN_TARGET_X86_32)
  list(APPEND ZEPHRIN_EXACT_MATH_OPTIONS -msse2 -mfpmath=sse)
endif()

# The options must leave no wider intermediates and must fuse nothing.
set(CMAKE_REQUIRED_FLAGS "${ZEPHRIN_EXACT_MATH_OPTIONS}")
string(REPLACE ";" " " CMAKE_REQUIRED_FLAGS "${CMAKE_REQUIRED_FLAGS}")
check_cxx_source_compiles("#include <cfloat>
#if FLT_EVAL_METHOD != 0
#error intermediates wider than their type
#endif
int main() {}" ZEPHRIN_EXACT_MATH_WORKS)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT ZEPHRIN_EXACT_MATH_WORKS)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} keeps floating-point intermediates wider than "
                      "double even with ${ZEPHRIN_EXACT_MATH_OPTIONS}: the bird would not fly "
                      "as on other machines")
endif()

add_library(zephrin_exact_math INTERFACE)
target_compile_options(zephrin_exact_math INTERFACE ${ZEPHRIN_EXACT_MATH_OPTIONS})
