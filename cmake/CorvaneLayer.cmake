# Warnings for the project's own code only.
set(CORVANE_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

# corvane_layer(<target> DIR <folder under src> [LIBS <libraries>...] [RESOURCES <qrc-prefix> <files>...])
# One static library per layer; its sources are every .cpp/.h below its folder
# (a nested folder that is a layer of its own is skipped with EXCLUDE).
function(corvane_layer target)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/${ARG_DIR}/*.cpp"
    "${PROJECT_SOURCE_DIR}/src/${ARG_DIR}/*.h")
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/src/${ARG_DIR}/${excluded}/")
  endforeach()
  if(NOT sources)
    return() # the layer has no code yet
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(${target} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_LIBS})
endfunction()

# corvane_test(<layer folder> [GUI] LIBS <libraries>...)
# One test executable per layer, from every .cpp in tests/<folder>; GUI ones run a QApplication.
function(corvane_test folder)
  cmake_parse_arguments(ARG "GUI" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
  if(NOT sources)
    return()
  endif()
  string(TOLOWER "${folder}" name)
  string(REPLACE "/" "_" name "${name}")
  set(target corvane_tests_${name})
  add_executable(${target} ${sources} "${CMAKE_CURRENT_SOURCE_DIR}/support/TestMain.cpp")
  if(ARG_GUI)
    target_compile_definitions(${target} PRIVATE CORVANE_TEST_GUI)
  endif()
  target_compile_options(${target} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(${target} PRIVATE corvane_testsupport ${ARG_LIBS})
  target_compile_definitions(${target} PRIVATE
    CORVANE_FIXTURES_DIR="${CMAKE_CURRENT_SOURCE_DIR}/fixtures"
    CORVANE_BINARY_PATH="$<TARGET_FILE:corvane>"
    CORVANE_TEST_ARTIFACTS_DIR="${CMAKE_BINARY_DIR}/test-artifacts")
  add_dependencies(${target} corvane)
  gtest_discover_tests(${target} WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" DISCOVERY_TIMEOUT 30)
endfunction()
