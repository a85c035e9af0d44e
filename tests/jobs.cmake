# Render jobs end to end: vornel on a private farm of real processes.
farm_add_test(NAME jobs_farm_test SOURCES jobs_test.cpp LIBS farm_test_support Qt6::Gui TIMEOUT 600)
target_compile_definitions(jobs_farm_test PRIVATE POVRAY_PROGRAM="${POVRAY}")
add_dependencies(jobs_farm_test vornel ledgo kintrahub)
if(TARGET tessel)
  add_dependencies(jobs_farm_test tessel)
endif()
