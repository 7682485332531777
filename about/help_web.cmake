qt_add_library(kelvor_helpweb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
)
target_include_directories(kelvor_helpweb PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_helpweb PUBLIC Qt6::Widgets kelvor_appinfo PRIVATE kelvor_warnings)
