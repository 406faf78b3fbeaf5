# One interface target that every target of the project links: language level, warnings,
# Qt's safety macros and, in the test build, the sanitizers.
option(TABRILL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TABRILL_WERROR "Treat warnings in the project's own code as errors" ON)

add_library(tabrill_options INTERFACE)
target_compile_features(tabrill_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(tabrill_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough)
if(TABRILL_WERROR)
  target_compile_options(tabrill_options INTERFACE -Werror)
endif()
target_compile_definitions(tabrill_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_CONTEXTLESS_CONNECT QT_NO_URL_CAST_FROM_STRING
  QT_NO_FOREACH)

if(TABRILL_SANITIZE)
  target_compile_options(tabrill_options INTERFACE -fsanitize=address,undefined
                         -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tabrill_options INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(tabrill_options INTERFACE _GLIBCXX_ASSERTIONS QT_FORCE_ASSERTS)
endif()

# The fuzz build (clang): every target carries libFuzzer's coverage hooks and the sanitizers;
# only the fuzz_<name> executables link libFuzzer itself (see Fuzzing.cmake).
option(TABRILL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(TABRILL_FUZZ)
  target_compile_options(tabrill_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(tabrill_options INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(tabrill_options INTERFACE TABRILL_FUZZING QT_FORCE_ASSERTS)
endif()
