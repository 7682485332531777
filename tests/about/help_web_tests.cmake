# Help collection, help viewer and web site launcher.

kelvor_add_test(test_help_collection GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_help_collection.cpp
  LIBS Qt6::Help kelvor_helpweb)
target_compile_definitions(test_help_collection PRIVATE
  KELVOR_HELP_FILE="${CMAKE_BINARY_DIR}/app/Kelvor.hlp")
add_dependencies(test_help_collection kelvor_help)

kelvor_add_test(test_help_viewer GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_help_viewer.cpp
  LIBS kelvor_helpweb)

# One web launch per process: the probe runs a launch, the test sets up the desktops.
qt_add_executable(test_web_launch_probe ${CMAKE_CURRENT_LIST_DIR}/test_web_launch_probe.cpp)
set_target_properties(test_web_launch_probe PROPERTIES WIN32_EXECUTABLE OFF MACOSX_BUNDLE OFF)
target_link_libraries(test_web_launch_probe PRIVATE kelvor_helpweb kelvor_warnings)
target_include_directories(test_web_launch_probe PRIVATE ${PROJECT_SOURCE_DIR})

# A stand-in for GIO and the libraries under it that leaves a mark when it is loaded; the test
# plants it in the folder a launch is started from.
add_library(test_planted_library MODULE ${CMAKE_CURRENT_LIST_DIR}/planted_library.c)
target_link_libraries(test_planted_library PRIVATE kelvor_warnings)

kelvor_add_test(test_web_launcher
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_web_launcher.cpp
  LIBS Qt6::Core)
target_compile_definitions(test_web_launcher PRIVATE
  KELVOR_WEB_PROBE="$<TARGET_FILE:test_web_launch_probe>"
  KELVOR_PLANTED_LIBRARY="$<TARGET_FILE:test_planted_library>")
add_dependencies(test_web_launcher test_web_launch_probe test_planted_library)
