# Component registration through farmreg and creation by name.
farm_add_test(NAME registration_test SOURCES registration_test.cpp LIBS farm_test_support platform TIMEOUT 120)
add_dependencies(registration_test farmreg lumora zephrin)

# --help and --version of every program.
farm_add_test(NAME cli_test SOURCES cli_test.cpp LIBS farm_test_support TIMEOUT 120)
add_dependencies(cli_test ledgo kintrahub tessel pvengine vornel farmreg lumora_cli)
