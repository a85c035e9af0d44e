# engine_farm_bench: vornel on two local nodes against povray +WT2, with CPU
# seconds, first-row time and row gaps.
add_executable(engine_farm_bench ${CMAKE_CURRENT_LIST_DIR}/engine_farm.cpp)
target_link_libraries(engine_farm_bench PRIVATE farm_test_support)
foreach(program vornel ledgo kintrahub tessel pvengine pvpreview ferrix)
  if(TARGET ${program})
    add_dependencies(engine_farm_bench ${program})
  endif()
endforeach()
set_target_properties(engine_farm_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# uneven_farm_bench: the default split (balanced as nodes go idle) and more,
# smaller bands handed to whichever node is idle, on two nodes of unequal speed.
farm_bench(uneven_farm_bench uneven_farm.cpp)
