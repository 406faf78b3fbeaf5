target_sources(tabrill_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Texcel.h ${CMAKE_CURRENT_LIST_DIR}/Texcel.cpp)
