# Fuzz targets. With TABRILL_FUZZ (clang) each target is a libFuzzer executable fuzz_<name>, built
# by the target fuzz_all; in the normal build each is a replay executable fuzz_<name>_replay and a
# CTest test fuzz_replay_<name> that runs every file of its corpus folders once.
#
#   tabrill_add_fuzz_target(<name> SOURCES <files...> LIBS <targets...> CORPUS <dirs...>)
#
# The sources define LLVMFuzzerTestOneInput (and may define LLVMFuzzerInitialize). A corpus folder
# that is missing or empty replays nothing and passes.

if(TABRILL_FUZZ AND NOT TARGET fuzz_all)
  add_custom_target(fuzz_all)
  # scripts/fuzz runs the targets listed here; a target removed since is not listed.
  file(REMOVE_RECURSE ${CMAKE_BINARY_DIR}/fuzz-targets)
endif()

function(tabrill_add_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "tabrill_add_fuzz_target(${name}): no SOURCES")
  endif()
  set(corpus)
  foreach(dir IN LISTS ARG_CORPUS)
    cmake_path(ABSOLUTE_PATH dir BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
               OUTPUT_VARIABLE absolute)
    list(APPEND corpus ${absolute})
  endforeach()

  if(TABRILL_FUZZ)
    add_executable(fuzz_${name} ${ARG_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE tabrill_options ${ARG_LIBS})
    target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzz_all fuzz_${name})
    # scripts/fuzz seeds its working corpus from these folders.
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz-targets/${name}.corpus "${corpus}")
  elseif(TABRILL_BUILD_TESTS)
    add_executable(fuzz_${name}_replay ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/support/ReplayMain.cpp)
    target_link_libraries(fuzz_${name}_replay PRIVATE tabrill_options ${ARG_LIBS})
    target_include_directories(fuzz_${name}_replay PRIVATE ${PROJECT_SOURCE_DIR})
    add_test(NAME fuzz_replay_${name} COMMAND fuzz_${name}_replay ${corpus})
    set_tests_properties(fuzz_replay_${name} PROPERTIES TIMEOUT 300
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()
