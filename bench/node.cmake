# node_bench: pvengine (rows to a boss) against a plain povray render.
add_executable(node_bench node_bench.cpp)
target_link_libraries(node_bench PRIVATE nodecore farm_test_support)
set_target_properties(node_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(node_bench pvengine ferrix)
