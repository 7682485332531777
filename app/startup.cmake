# Start-up module and splash window, shared by the program and its tests.
qt_add_library(kelvor_startup STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mod_kelvor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/splashkv.cpp
)
target_include_directories(kelvor_startup PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_startup
  PUBLIC Qt6::Widgets kelvor_appinfo
  PRIVATE kelvor_mainwindow kelvor_resources kelvor_warnings)

# The program; it lands in the build's app/ folder, which is the program's folder at run time.
qt_add_executable(kelvor ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
set_target_properties(kelvor PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app
  WIN32_EXECUTABLE OFF MACOSX_BUNDLE OFF)
target_link_libraries(kelvor PRIVATE kelvor_startup kelvor_appinfo kelvor_warnings)
