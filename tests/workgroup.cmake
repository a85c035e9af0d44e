# The workgroup server as a real process (with the name registry).
add_executable(workgroup_farmer workgroup_farmer.cpp)
target_link_libraries(workgroup_farmer PRIVATE farm_test_support)
set_target_properties(workgroup_farmer PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
  BUILD_RPATH "${FARM_BIN_DIR}")

farm_add_test(NAME workgroup_test SOURCES workgroup_test.cpp LIBS farm_test_support TIMEOUT 120)
add_dependencies(workgroup_test workgroup_farmer kintrahub ledgo)
