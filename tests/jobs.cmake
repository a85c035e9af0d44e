# Render jobs end to end: vornel on a private farm of real processes.
farm_add_test(NAME jobs_farm_test SOURCES jobs_test.cpp LIBS farm_test_support Qt6::Gui TIMEOUT 600)
target_compile_definitions(jobs_farm_test PRIVATE POVRAY_PROGRAM="${POVRAY}")
add_dependencies(jobs_farm_test vornel ledgo kintrahub)
set_tests_properties(jobs_farm_test PROPERTIES FIXTURES_REQUIRED lumora_classes)
foreach(program tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(jobs_farm_test ${program})
  endif()
endforeach()

# A RenderNet2 host for the tests. It runs from a copy of bin/ and finds
# liblumora beside itself, so its work folder is that copy.
add_executable(jobs_host jobs_host.cpp)
target_link_libraries(jobs_host PRIVATE lumora Qt6::Widgets)
set_target_properties(jobs_host PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
  BUILD_RPATH "$ORIGIN")
add_dependencies(jobs_farm_test jobs_host)
