# The search run, the book list and the jump against a recording server in the test process.
tabrill_add_test(test_main_search
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UnitMainSearchServer.h
          ${CMAKE_CURRENT_LIST_DIR}/UnitMainSearchServer.cpp
          ${CMAKE_CURRENT_LIST_DIR}/UnitMainSearchTest.cpp
  LIBS tabrill_gui sheethost_server)
