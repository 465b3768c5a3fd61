# DUOSCRIPTFORGE_FUZZ: builds the libFuzzer targets of tests/fuzz (clang only). The engines are
# then compiled with coverage instrumentation, AddressSanitizer and UndefinedBehaviorSanitizer;
# only the fuzz targets link the fuzzer's main. Build them with tools/fuzz.
option(DUOSCRIPTFORGE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(DUOSCRIPTFORGE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "DUOSCRIPTFORGE_FUZZ needs clang; configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(DUOSCRIPTFORGE_SANITIZE)
    message(FATAL_ERROR "DUOSCRIPTFORGE_FUZZ brings its own sanitizers; leave DUOSCRIPTFORGE_SANITIZE empty")
  endif()
  set(DUOSCRIPTFORGE_FUZZ_SANITIZERS address,undefined)
  add_compile_options(-fsanitize=fuzzer-no-link,${DUOSCRIPTFORGE_FUZZ_SANITIZERS}
                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
endif()
