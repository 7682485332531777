# The help viewer (Qt Assistant driven through its remote control) and the web site launcher
# (the desktop's browser, found through GIO in a module loaded at the first launch).
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELVOR_GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)

# The module lands in the program's folder beside the executable, where the launcher looks.
add_library(kelvor_browser MODULE ${CMAKE_CURRENT_LIST_DIR}/desktop_browser.cpp)
set_target_properties(kelvor_browser PROPERTIES
  PREFIX "" OUTPUT_NAME kelvor-browser
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(kelvor_browser PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_browser PRIVATE PkgConfig::KELVOR_GIO kelvor_warnings)
target_link_options(kelvor_browser PRIVATE -Wl,--no-undefined)

qt_add_library(kelvor_helpweb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/web_launcher.cpp
)
target_include_directories(kelvor_helpweb PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_helpweb
  PUBLIC Qt6::Widgets kelvor_appinfo
  PRIVATE kelvor_warnings)
# Whatever links the launcher has its module built as well.
add_dependencies(kelvor_helpweb kelvor_browser)
