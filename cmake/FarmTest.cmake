# farm_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s])
# Builds a GoogleTest program into build/tests (not bin/, which must stay a
# clean node folder) and registers it with CTest as one test.
# Tests never read or write the user's own configuration: their class
# registry lies in the build tree, filled by the fixture lumora_classes.
set(FARM_TEST_CONFIG_HOME ${CMAKE_BINARY_DIR}/tests/config)

function(farm_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${T_NAME} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    BUILD_RPATH "${FARM_BIN_DIR}")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "FARM_BIN_DIR=${FARM_BIN_DIR};FARM_SOURCE_DIR=${CMAKE_SOURCE_DIR};QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${FARM_TEST_CONFIG_HOME}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
