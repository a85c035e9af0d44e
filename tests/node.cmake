# Render nodes as real processes (tessel, pvengine, povray) with the name
# registry and the workgroup server.
farm_add_test(NAME node_farm_test SOURCES node_farm_test.cpp
  LIBS farm_test_support node_test_zip enginecore nlohmann_json::nlohmann_json TIMEOUT 240)
add_dependencies(node_farm_test tessel pvengine ferrix kintrahub ledgo lumora_cli)
