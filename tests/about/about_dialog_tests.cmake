# Tests of the About dialog, the system-information launcher and the key store reader.
kelvor_add_test(test_key_store_parser
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_key_store_parser.cpp LIBS kelvor_keystore)
kelvor_add_test(test_key_store
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_key_store.cpp LIBS kelvor_keystore)

# The stand-in system-information program the launcher tests start.
add_executable(test_sys_info_recorder ${CMAKE_CURRENT_LIST_DIR}/test_sys_info_recorder.cpp)
target_link_libraries(test_sys_info_recorder PRIVATE kelvor_warnings)

kelvor_add_test(test_sys_info_launcher
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_sys_info_launcher.cpp LIBS kelvor_about)
target_compile_definitions(test_sys_info_launcher PRIVATE
  KELVOR_TEST_RECORDER="$<TARGET_FILE:test_sys_info_recorder>")
add_dependencies(test_sys_info_launcher test_sys_info_recorder)

kelvor_add_test(test_about_dialog GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_about_dialog.cpp LIBS kelvor_about kelvor_resources)
