# The X and Sway session helpers (tests/support/XSession.h, SwaySession.h), shared by the tests and the benchmarks.
if(NOT TARGET corvane_xsession)
  add_library(corvane_xsession STATIC "${CMAKE_CURRENT_LIST_DIR}/XSession.cpp" "${CMAKE_CURRENT_LIST_DIR}/XSession.h"
    "${CMAKE_CURRENT_LIST_DIR}/XScreenshot.cpp" "${CMAKE_CURRENT_LIST_DIR}/XScreenshot.h"
    "${CMAKE_CURRENT_LIST_DIR}/SwaySession.cpp" "${CMAKE_CURRENT_LIST_DIR}/SwaySession.h")
  target_include_directories(corvane_xsession PUBLIC "${CMAKE_CURRENT_LIST_DIR}/..")
  target_compile_options(corvane_xsession PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(corvane_xsession PUBLIC Qt6::Core Qt6::Gui PkgConfig::XCB)
endif()
