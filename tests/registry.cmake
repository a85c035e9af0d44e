# The name registry as a real process, and the name binding calls against it.
farm_add_test(NAME registry_test SOURCES registry_test.cpp LIBS farm_test_support TIMEOUT 120)
add_dependencies(registry_test ledgo workgroup_farmer)
