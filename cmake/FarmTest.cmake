# farm_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s])
# Builds a GoogleTest program into build/tests (not bin/, which must stay a
# clean node folder) and registers it with CTest as one test.
# Tests never read or write the user's own configuration: their class
# registry lies in the build tree, filled by the fixture lumora_classes.
set(FARM_TEST_CONFIG_HOME ${CMAKE_BINARY_DIR}/tests/config)
# The programs' texts are checked in their built-in language, whatever the
# machine's locale (an English one would translate them).
set(FARM_TEST_LOCALE "LANG=C.UTF-8;LC_ALL=;LC_MESSAGES=")

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
    ENVIRONMENT "FARM_BIN_DIR=${FARM_BIN_DIR};FARM_SOURCE_DIR=${CMAKE_SOURCE_DIR};QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${FARM_TEST_CONFIG_HOME};${FARM_TEST_LOCALE}")
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()

# farm_add_fuzz(NAME name SOURCES a.cpp ... LIBS lib ... RUNS n [LOCK resource])
# Builds a libFuzzer target (only in a FARM_FUZZ tree) and registers one
# bounded run of it with CTest: fixed seed, `n` inputs, starting from the
# inputs kept in fuzz/<name>/ (valid examples and every fault found so far).
function(farm_add_fuzz)
  if(NOT FARM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;RUNS;LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} Threads::Threads)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${F_NAME} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz
    BUILD_RPATH "${FARM_BIN_DIR}")
  add_test(NAME ${F_NAME}
    COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run $<TARGET_FILE:${F_NAME}> ${F_RUNS} ${CMAKE_SOURCE_DIR}/fuzz/${F_NAME})
  set_tests_properties(${F_NAME} PROPERTIES
    TIMEOUT 600 LABELS fuzz
    ENVIRONMENT "FARM_BIN_DIR=${FARM_BIN_DIR};FARM_SOURCE_DIR=${CMAKE_SOURCE_DIR};QT_QPA_PLATFORM=offscreen")
  if(F_LOCK)
    set_tests_properties(${F_NAME} PROPERTIES RESOURCE_LOCK ${F_LOCK})
  endif()
endfunction()
