# The farm's programs started in every order, and the name registry
# restarted under a running farm.
farm_add_test(NAME start_order_test SOURCES start_order_test.cpp LIBS farm_test_support TIMEOUT 300)
add_dependencies(start_order_test ledgo kintrahub tessel pvengine ferrix vornel farmreg)
set_tests_properties(start_order_test PROPERTIES FIXTURES_REQUIRED lumora_classes)
