# The machine's key store reader: plain C++, so a fuzzer can take it without Qt.
add_library(kelvor_keystore STATIC
  ${CMAKE_CURRENT_LIST_DIR}/key_store_parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_store.cpp
)
target_include_directories(kelvor_keystore PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_keystore PRIVATE kelvor_warnings)

# The About dialog and the system-information launcher.
qt_add_library(kelvor_about STATIC
  ${CMAKE_CURRENT_LIST_DIR}/frm_kv_about.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sys_info_launcher.cpp
)
target_include_directories(kelvor_about PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvor_about
  PUBLIC Qt6::Widgets kelvor_appinfo kelvor_keystore
  PRIVATE kelvor_helpweb $<TARGET_NAME_IF_EXISTS:kelvor_resources> kelvor_warnings)

# The dialog names the platform the program is built for: word size and system, from the build.
math(EXPR KELVOR_TARGET_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/frm_kv_about.cpp PROPERTIES
  COMPILE_DEFINITIONS "KELVOR_TARGET_BITS=${KELVOR_TARGET_BITS};KELVOR_TARGET_SYSTEM=\"${CMAKE_SYSTEM_NAME}\"")
