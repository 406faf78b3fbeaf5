tabrill_add_test(test_texcel SOURCES ${CMAKE_CURRENT_LIST_DIR}/TexcelTest.cpp
                 LIBS tabrill_core sheethost_server)
# The server processes these tests start.
add_dependencies(test_texcel sheethost_test_server)
