# The bird's motion is written as double-precision steps, each rounded on
# its own: velocity = gravity x 0.4 + velocity, then y = velocity x 0.4 + y;
# its tilt divides the velocity by 3 in float. Compilers may fuse such a
# multiply and add into one instruction that rounds once (GCC does by
# default wherever the processor has one: arm64, ppc64el, s390x, riscv64,
# x86 from Haswell on), and the 32-bit x86 floating-point unit keeps 64-bit
# mantissas between steps. Told to compute fast (-Ofast, -ffast-math, as
# tuned builds are), they also multiply by 0.33333334f instead of dividing
# by 3 and regroup sums; Clang then fuses even where contraction is off.
# Any of these flies the bird off the path it flies everywhere else.
# zephrin_exact_math, linked by the game's own targets, rounds every step as
# written:
#
#   GCC, Clang (emcc too)  no contraction and no fast-math nor any of its
#                          parts that change a result (reassociation,
#                          reciprocals, ignoring the sign of zero, assuming
#                          no infinities), after any flags from outside
#                          (CXXFLAGS, -Ofast, -march=native), so they
#                          cannot undo it
#   32-bit x86             SSE2 arithmetic (-msse2 -mfpmath=sse), as on
#                          Windows: every x86 processor since 2003 has it
#
# A compiler that cannot be told so stops the build here.
include(CheckCXXSourceCompiles)

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER_ID} cannot be told to round the game's arithmetic "
                      "step by step; build with GCC or Clang")
endif()
# -fno-fast-math takes back all of fast math in either compiler; the parts
# that change a result are each a flag a tuned build may give alone
# (-freciprocal-math), and are switched off by name too: the manuals promise
# only that -fno-fast-math undoes -ffast-math. Contraction goes off first, as
# Clang warns when -fno-fast-math takes back the fusing -ffast-math allowed.
set(ZEPHRIN_EXACT_MATH_OPTIONS -ffp-contract=off -fno-fast-math -fno-associative-math
                               -fno-reciprocal-math -fsigned-zeros -fno-finite-math-only)
# GCC's unsafe math allows rewrites beyond those parts. Clang's
# -fno-unsafe-math-optimizations would also compile every operation as if
# floating-point exceptions were watched (slower, and a warning under emcc):
# there -fno-fast-math takes it back.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND ZEPHRIN_EXACT_MATH_OPTIONS -fno-unsafe-math-optimizations)
endif()
check_cxx_source_compiles("#if !defined(__i386__)
#error not 32-bit x86
#endif
int main() {}" ZEPHRIN_TARGET_X86_32)
if(ZEPHRIN_TARGET_X86_32)
  list(APPEND ZEPHRIN_EXACT_MATH_OPTIONS -msse2 -mfpmath=sse)
endif()

# After the flags from outside, the options must leave no wider
# intermediates and no fast math.
set(CMAKE_REQUIRED_FLAGS "${ZEPHRIN_EXACT_MATH_OPTIONS}")
string(REPLACE ";" " " CMAKE_REQUIRED_FLAGS "${CMAKE_REQUIRED_FLAGS}")
check_cxx_source_compiles("#include <cfloat>
#if FLT_EVAL_METHOD != 0
#error intermediates wider than their type
#endif
#if defined(__FAST_MATH__) || __FINITE_MATH_ONLY__
#error fast math
#endif
int main() {}" ZEPHRIN_EXACT_MATH_WORKS)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT ZEPHRIN_EXACT_MATH_WORKS)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} keeps floating-point intermediates wider than "
                      "double, or computes fast, even with ${ZEPHRIN_EXACT_MATH_OPTIONS}: the "
                      "bird would not fly as on other machines")
endif()

add_library(zephrin_exact_math INTERFACE)
target_compile_options(zephrin_exact_math INTERFACE ${ZEPHRIN_EXACT_MATH_OPTIONS})
