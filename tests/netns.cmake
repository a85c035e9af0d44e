# A farm across hosts: every program in a network namespace of its own,
# joined by a bridge. Needs root; skips without it.
farm_add_test(NAME netns_farm_test SOURCES netns_farm_test.cpp LIBS farm_test_support farmwire Qt6::Gui TIMEOUT 300)
target_compile_definitions(netns_farm_test PRIVATE POVRAY_PROGRAM="${POVRAY}" FARM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(netns_farm_test vornel ledgo kintrahub tessel pvengine ferrix)
