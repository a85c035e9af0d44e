# Farm renders driven from the Python module lumora.
if(TARGET pylumora)
  farm_add_test(NAME python_farm_test SOURCES python_test.cpp LIBS farm_test_support Qt6::Gui TIMEOUT 300)
  # What goes before the interpreter on its command line, '|' between words.
  list(JOIN FARM_PYTHON_HOST "|" python_host)
  target_compile_definitions(python_farm_test PRIVATE PYTHON_PROGRAM="${Python3_EXECUTABLE}"
                             PYTHON_HOST="${python_host}" LUMORA_PYTHON_DIR="${CMAKE_BINARY_DIR}/python")
  add_dependencies(python_farm_test pylumora ledgo kintrahub tessel pvengine ferrix)
endif()
