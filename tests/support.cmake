# Shared harness of the multi-process tests: private farms (registry,
# workgroup server, nodes) on loopback ports, child processes with logs, and
# the test process's own ORB.
add_library(farm_test_support STATIC
  support/TestEnv.cpp
  support/Process.cpp
  support/TestOrb.cpp
  support/FakeFarmer.cpp
  support/Farm.cpp)
target_include_directories(farm_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(farm_test_support PUBLIC platform farmidl namebinding GTest::gtest Threads::Threads)

farm_add_test(NAME support_test SOURCES support/support_test.cpp LIBS farm_test_support TIMEOUT 60)
