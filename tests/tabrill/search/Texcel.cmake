tabrill_add_test(test_texcel SOURCES ${CMAKE_CURRENT_LIST_DIR}/TexcelTest.cpp
                 LIBS tabrill_core sheethost_server)
# The server processes these tests start.
add_dependencies(test_texcel sheethost_test_server)

# The cost of the calls a search makes; run by hand, not by CTest.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(texcel_benchmark ${CMAKE_CURRENT_LIST_DIR}/TexcelBenchmark.cpp)
  target_link_libraries(texcel_benchmark PRIVATE tabrill_core sheethost_server benchmark::benchmark)
endif()
