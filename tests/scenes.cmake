# A user's own scenes end to end: lumora render on a private farm.
farm_add_test(NAME scenes_farm_test SOURCES scenes_test.cpp LIBS farm_test_support Qt6::Gui TIMEOUT 900)
target_compile_definitions(scenes_farm_test PRIVATE POVRAY_PROGRAM="${POVRAY}")
add_dependencies(scenes_farm_test lumora_cli ledgo kintrahub)
foreach(program tessel pvengine ferrix)
  if(TARGET ${program})
    add_dependencies(scenes_farm_test ${program})
  endif()
endforeach()
