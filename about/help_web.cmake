# The help viewer (Qt Assistant driven through its remote control) and the web site launcher
# (the desktop's browser, found through GIO).
# GIO is opened at the first web launch, not linked: only its headers are used here, for the
# types of the functions the launcher looks up.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KELVOR_GIO REQUIRED gio-2.0 gio-unix-2.0)

qt_add_library(kelvor_helpweb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/web_launcher.cpp
  ${CMAKE_CURRENT_LIST_DIR}/desktop_browser.cpp
)
target_include_directories(kelvor_helpweb PUBLIC ${PROJECT_SOURCE_DIR})
target_include_directories(kelvor_helpweb SYSTEM PRIVATE ${KELVOR_GIO_INCLUDE_DIRS})
target_link_libraries(kelvor_helpweb
  PUBLIC Qt6::Widgets kelvor_appinfo
  PRIVATE kelvor_warnings)

# Builds before GIO was opened directly made a browser module in the program's folder. Nothing
# loads it any more, but its run path reads as the working folder to the loader: remove it.
file(REMOVE ${CMAKE_BINARY_DIR}/app/kelvor-browser.so)
