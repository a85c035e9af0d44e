# Benchmarks of the render job controller. Programs land in build*/bench.

add_executable(jobs_rows_bench ${CMAKE_CURRENT_LIST_DIR}/jobs_rows.cpp)
target_link_libraries(jobs_rows_bench PRIVATE jobsview Threads::Threads)
set_target_properties(jobs_rows_bench PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
  BUILD_RPATH "${FARM_BIN_DIR}")

# A bench that starts a local farm: it needs the farm's programs built.
function(farm_bench name source)
  add_executable(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/BenchFarm.cpp)
  target_link_libraries(${name} PRIVATE farm_test_support ${ARGN})
  foreach(program vornel lumora_cli ledgo kintrahub tessel pvengine pvpreview ferrix zephrin farmreg)
    if(TARGET ${program})
      add_dependencies(${name} ${program})
    endif()
  endforeach()
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${FARM_BIN_DIR}")
endfunction()

# Farm efficiency: vornel on two local nodes against povray alone.
farm_bench(jobs_farm_bench jobs_farm.cpp)
target_compile_definitions(jobs_farm_bench PRIVATE POVRAY_PROGRAM="${POVRAY}")

# Two clients sharing a farm of two nodes, against their jobs one after the other.
farm_bench(shared_farm_bench shared_farm.cpp)

# TLS against plain TCP: row throughput and a whole job's wall time.
farm_bench(tls_farm_bench tls_farm.cpp farmidl)
target_compile_definitions(tls_farm_bench PRIVATE FARM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# Half of a farm of 16 (or more) nodes stopped, against the whole farm.
farm_bench(frozen_farm_bench frozen_farm.cpp)

# A package crosses each link once: bytes sent for several jobs of one scene.
farm_bench(package_farm_bench package_farm.cpp)

# Speedup of 1, 2, 4, 8 nodes, each held to a quarter of a core (cgroup v1).
farm_bench(scaling_farm_bench scaling_farm.cpp)

# An animation's frames per minute on two nodes against povray +WT2 alone.
farm_bench(anim_farm_bench anim_farm.cpp)
target_compile_definitions(anim_farm_bench PRIVATE POVRAY_PROGRAM="${POVRAY}")
