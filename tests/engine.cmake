# pvengine with povray behind it and a boss served by the test.
farm_add_test(NAME engine_farm_test SOURCES engine_farm_test.cpp
  LIBS farm_test_support nodecore enginecore TIMEOUT 300)
add_dependencies(engine_farm_test pvengine pvpreview ferrix)
