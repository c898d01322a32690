# Warnings for the project's own code only.
set(CORVANE_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

# corvane_layer(<target> DIR <folder under src> [EXCLUDE <subfolders>...] [LIBS <libraries>...])
# One static library per layer; its sources are every .cpp/.h below its folder (a nested folder
# that is a layer of its own is skipped with EXCLUDE). A layer's headers are reached as
# "<folder>/<name>.h" through an include tree of its own that holds only them, so a file can
# include another layer's header only when its target links that layer.
function(corvane_layer target)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/${ARG_DIR}/*.cpp"
    "${PROJECT_SOURCE_DIR}/src/${ARG_DIR}/*.h")
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/src/${ARG_DIR}/${excluded}/")
  endforeach()
  if(NOT sources)
    message(FATAL_ERROR "corvane_layer(${target}): no sources under src/${ARG_DIR}")
  endif()
  add_library(${target} STATIC ${sources})
  corvane_expose_headers(${target} "${sources}")
  target_compile_options(${target} PRIVATE ${CORVANE_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_LIBS})
endfunction()

# Links each header of `files` into <build>/include/<target>/<path under src> and puts that tree
# on the target's public include path.
function(corvane_expose_headers target files)
  set(tree "${CMAKE_BINARY_DIR}/include/${target}")
  file(REMOVE_RECURSE "${tree}")
  foreach(file IN LISTS files)
    if(file MATCHES "\\.h$")
      file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}/src" "${file}")
      get_filename_component(folder "${tree}/${relative}" DIRECTORY)
      file(MAKE_DIRECTORY "${folder}")
      file(CREATE_LINK "${file}" "${tree}/${relative}" SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC "${tree}")
endfunction()

# corvane_test(<folder under tests> [GUI] LIBS <libraries>...)
# One test executable per layer, from every .cpp in tests/<folder> (nested test folders that are
# executables of their own are skipped with EXCLUDE); GUI ones run a QApplication.
function(corvane_test folder)
  cmake_parse_arguments(ARG "GUI" "" "LIBS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(FILTER sources EXCLUDE REGEX "/${folder}/${excluded}/")
  endforeach()
  if(NOT sources)
    message(FATAL_ERROR "corvane_test(${folder}): no tests")
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
  add_dependencies(${target} corvane corvane-desktop)
  gtest_discover_tests(${target} WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}" DISCOVERY_TIMEOUT 30)
endfunction()
