# The tray programs under Xvfb with a real tray host.
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
farm_add_test(NAME tray_test SOURCES tray_test.cpp LIBS farm_test_support PkgConfig::X11 TIMEOUT 300)
add_dependencies(tray_test ledgo kintrahub tessel)
