# Benchmarks of the render job controller. Programs land in build*/bench.

add_executable(jobs_rows_bench ${CMAKE_CURRENT_LIST_DIR}/jobs_rows.cpp)
target_link_libraries(jobs_rows_bench PRIVATE jobsview Threads::Threads)
set_target_properties(jobs_rows_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# Farm efficiency: vornel on two local nodes against povray alone.
add_executable(jobs_farm_bench ${CMAKE_CURRENT_LIST_DIR}/jobs_farm.cpp)
target_link_libraries(jobs_farm_bench PRIVATE farm_test_support)
target_compile_definitions(jobs_farm_bench PRIVATE POVRAY_PROGRAM="${POVRAY}")
foreach(program vornel ledgo kintrahub tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(jobs_farm_bench ${program})
  endif()
endforeach()
set_target_properties(jobs_farm_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# Two clients sharing a farm of two nodes, against their jobs one after the other.
add_executable(shared_farm_bench ${CMAKE_CURRENT_LIST_DIR}/shared_farm.cpp)
target_link_libraries(shared_farm_bench PRIVATE farm_test_support)
foreach(program vornel ledgo kintrahub tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(shared_farm_bench ${program})
  endif()
endforeach()
set_target_properties(shared_farm_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# TLS against plain TCP: row throughput and a whole job's wall time.
add_executable(tls_farm_bench ${CMAKE_CURRENT_LIST_DIR}/tls_farm.cpp)
target_link_libraries(tls_farm_bench PRIVATE farm_test_support farmidl)
target_compile_definitions(tls_farm_bench PRIVATE FARM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
foreach(program vornel ledgo kintrahub tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(tls_farm_bench ${program})
  endif()
endforeach()
set_target_properties(tls_farm_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# Half of a farm of 16 (or more) nodes stopped, against the whole farm.
add_executable(frozen_farm_bench ${CMAKE_CURRENT_LIST_DIR}/frozen_farm.cpp)
target_link_libraries(frozen_farm_bench PRIVATE farm_test_support)
foreach(program vornel ledgo kintrahub tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(frozen_farm_bench ${program})
  endif()
endforeach()
set_target_properties(frozen_farm_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")
