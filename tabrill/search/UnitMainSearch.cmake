target_sources(tabrill_gui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/UnitMainSearch.cpp)
