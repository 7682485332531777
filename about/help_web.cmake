# The help viewer (Qt Assistant driven through its remote control) and the web site launcher
# (the desktop's browser, found through GIO).
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELVOR_GIO REQUIRED IMPORTED_TARGET gio-2.0 gio-unix-2.0)

qt_add_library(kelvor_helpweb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/web_launcher.cpp
)
target_include_directories(kelvor_helpweb PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_helpweb
  PUBLIC Qt6::Widgets kelvor_appinfo
  PRIVATE PkgConfig::KELVOR_GIO kelvor_warnings)
