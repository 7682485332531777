# Install rules (cmake --install, DESTDIR-safe) and the Debian package (cpack -G DEB).
#
# Layout, relative to the install prefix:
#   <libdir>/tandrel-lunar-landing/      the program's folder: kelvor and its help collection
#   games/ or bin/tandrel-lunar-landing  relative symlink to kelvor, the command on the PATH
#   share/applications, share/metainfo   desktop entry and AppStream metainfo
#   share/icons/hicolor/<size>/apps      the icon, PNG at six sizes and scalable SVG
#   <mandir>/man6                        the manual page
#   share/doc/tandrel-lunar-landing      copyright and changelog.gz
# and, outside the prefix, the machine-wide key store /etc/xdg/Tandrel/registry.reg.

set(KELVOR_PACKAGE_NAME tandrel-lunar-landing)
set(KELVOR_APP_ID example.tandrel.LunarLanding)
set(KELVOR_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KELVOR_PACKAGING_BINARY_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KELVOR_PACKAGING_BINARY_DIR})

# Debian keeps the commands of games in /usr/games (Policy 11.11), and a package in section
# "games" without one there is rejected by lintian: the Debian package is built from this same
# install, so the games layout is the default. OFF puts the command in the bindir instead.
option(KELVOR_INSTALL_GAMES "Put the command in <prefix>/games (Debian's games layout) instead of the bindir" ON)
# The game reads its key store from this fixed path whatever the prefix, so the file goes
# there too (DESTDIR still applies); change it only for a staging install without root.
set(KELVOR_KEYSTORE_DIR "/etc/xdg/Tandrel" CACHE PATH "Absolute folder of the machine-wide key store registry.reg")

# The top-level list may set the program's folder before the subdirectories that install
# into it (the help collection); otherwise it is decided here.
if(NOT DEFINED KELVOR_INSTALL_PROGRAM_DIR)
  set(KELVOR_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBDIR}/${KELVOR_PACKAGE_NAME})
endif()
set(KELVOR_PROGRAM_DIR ${KELVOR_INSTALL_PROGRAM_DIR})
if(KELVOR_INSTALL_GAMES)
  set(KELVOR_COMMAND_DIR games)
else()
  set(KELVOR_COMMAND_DIR ${CMAKE_INSTALL_BINDIR})
endif()

set(KELVOR_RESOURCES_DIR ${PROJECT_SOURCE_DIR}/resources)

# --- The program's folder ---------------------------------------------------------------------
if(TARGET kelvor)
  # The game links only the system's libraries: the installed program needs no run path, and
  # the $ORIGIN one Qt's project setup would give it points at folders that do not exist.
  set_property(TARGET kelvor PROPERTY INSTALL_RPATH "")
  # Full RELRO, as Debian's hardening flags give a package: every symbol is bound at start,
  # after which the global offset table is read-only. The game's start-up is Qt's, not this.
  target_link_options(kelvor PRIVATE LINKER:-z,relro LINKER:-z,now)
  install(TARGETS kelvor RUNTIME DESTINATION ${KELVOR_PROGRAM_DIR})

  # The command on the PATH is a relative link, so that the tree can be moved as a whole
  # (DESTDIR, a package's staging folder) and still point at the program. The game finds its
  # folder through /proc/self/exe, which resolves the link.
  if(IS_ABSOLUTE "${KELVOR_COMMAND_DIR}" OR IS_ABSOLUTE "${KELVOR_PROGRAM_DIR}")
    # Absolute folders given by the user: relate the full paths instead.
    cmake_path(ABSOLUTE_PATH KELVOR_COMMAND_DIR BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
               OUTPUT_VARIABLE _kelvor_command_full)
    cmake_path(ABSOLUTE_PATH KELVOR_PROGRAM_DIR BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}
               OUTPUT_VARIABLE _kelvor_program_full)
    file(RELATIVE_PATH _kelvor_link_target ${_kelvor_command_full} ${_kelvor_program_full}/kelvor)
  else()
    file(RELATIVE_PATH _kelvor_link_target /${KELVOR_COMMAND_DIR} /${KELVOR_PROGRAM_DIR}/kelvor)
  endif()
  file(CREATE_LINK ${_kelvor_link_target} ${KELVOR_PACKAGING_BINARY_DIR}/${KELVOR_PACKAGE_NAME} SYMBOLIC)
  install(FILES ${KELVOR_PACKAGING_BINARY_DIR}/${KELVOR_PACKAGE_NAME} DESTINATION ${KELVOR_COMMAND_DIR})
else()
  message(STATUS "kelvor is not defined yet: the program is left out of the install")
endif()

# The help collection installs itself into KELVOR_INSTALL_PROGRAM_DIR (resources/help).

# --- Desktop integration ----------------------------------------------------------------------
install(FILES ${KELVOR_RESOURCES_DIR}/desktop/${KELVOR_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KELVOR_RESOURCES_DIR}/desktop/${KELVOR_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(KELVOR_ICON_SIZES 16 32 48 64 128 256)
foreach(size IN LISTS KELVOR_ICON_SIZES)
  set(_kelvor_icon ${KELVOR_RESOURCES_DIR}/icons/hicolor/${size}x${size}/apps/${KELVOR_APP_ID}.png)
  if(EXISTS ${_kelvor_icon})
    install(FILES ${_kelvor_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endif()
endforeach()
set(_kelvor_icon ${KELVOR_RESOURCES_DIR}/icons/hicolor/scalable/apps/${KELVOR_APP_ID}.svg)
if(EXISTS ${_kelvor_icon})
  install(FILES ${_kelvor_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# Manual pages ship compressed (Debian policy); -n keeps the archive free of time stamps,
# so that two builds of the same source give the same package.
set(KELVOR_MANPAGE ${KELVOR_PACKAGING_BINARY_DIR}/${KELVOR_PACKAGE_NAME}.6.gz)
add_custom_command(
  OUTPUT ${KELVOR_MANPAGE}
  COMMAND gzip -9nc ${KELVOR_RESOURCES_DIR}/man/${KELVOR_PACKAGE_NAME}.6 > ${KELVOR_MANPAGE}
  DEPENDS ${KELVOR_RESOURCES_DIR}/man/${KELVOR_PACKAGE_NAME}.6
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(kelvor_manpage ALL DEPENDS ${KELVOR_MANPAGE})
install(FILES ${KELVOR_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)

install(FILES ${KELVOR_RESOURCES_DIR}/registry/registry.reg DESTINATION ${KELVOR_KEYSTORE_DIR})

install(FILES ${KELVOR_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KELVOR_PACKAGE_NAME})
# The changelog in Debian's format, under the name Debian gives it in a package built by its
# own maker (a "native" package: no Debian revision in the version). Compressed like the
# manual page, with -n for the same reason.
set(KELVOR_CHANGELOG ${KELVOR_PACKAGING_BINARY_DIR}/changelog.gz)
add_custom_command(
  OUTPUT ${KELVOR_CHANGELOG}
  COMMAND gzip -9nc ${KELVOR_PACKAGING_DIR}/changelog > ${KELVOR_CHANGELOG}
  DEPENDS ${KELVOR_PACKAGING_DIR}/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(kelvor_changelog ALL DEPENDS ${KELVOR_CHANGELOG})
install(FILES ${KELVOR_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${KELVOR_PACKAGE_NAME})
# The reasons for the lintian warnings the package keeps, where lintian looks for them.
install(FILES ${KELVOR_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${KELVOR_PACKAGE_NAME})

# The layout, for the install and package checks (shell).
if(TARGET kelvor_help)
  set(_kelvor_help_expected 1)
else()
  set(_kelvor_help_expected 0)
endif()
file(WRITE ${KELVOR_PACKAGING_BINARY_DIR}/layout.sh
     "program_dir='${KELVOR_PROGRAM_DIR}'\n"
     "command_dir='${KELVOR_COMMAND_DIR}'\n"
     "keystore_dir='${KELVOR_KEYSTORE_DIR}'\n"
     "man_dir='${CMAKE_INSTALL_MANDIR}'\n"
     "data_dir='${CMAKE_INSTALL_DATADIR}'\n"
     "doc_dir='${CMAKE_INSTALL_DATAROOTDIR}/doc/${KELVOR_PACKAGE_NAME}'\n"
     "help_expected=${_kelvor_help_expected}\n"
     "project_version='${PROJECT_VERSION}'\n")

# --- Checks -----------------------------------------------------------------------------------
if(BUILD_TESTING)
  add_test(NAME desktop_entry_is_valid
           COMMAND desktop-file-validate ${KELVOR_RESOURCES_DIR}/desktop/${KELVOR_APP_ID}.desktop)
  add_test(NAME metainfo_is_valid
           COMMAND appstreamcli validate --no-net ${KELVOR_RESOURCES_DIR}/desktop/${KELVOR_APP_ID}.metainfo.xml)
  set_tests_properties(desktop_entry_is_valid metainfo_is_valid PROPERTIES LABELS packaging)
  if(TARGET kelvor)
    add_test(NAME install_tree_is_complete
             COMMAND ${KELVOR_PACKAGING_DIR}/check-install ${CMAKE_BINARY_DIR})
    set_tests_properties(install_tree_is_complete PROPERTIES LABELS packaging)
    # Every ELF file of the build and of its install: no run path that lets the loader look in
    # the working folder (an empty entry) or relative to the file ($ORIGIN).
    add_test(NAME run_paths_are_absolute
             COMMAND ${KELVOR_PACKAGING_DIR}/tests/check-run-paths
                     --install ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR})
    set_tests_properties(run_paths_are_absolute PROPERTIES LABELS packaging)
  endif()
  # The shipped key store must be readable by the game's own reader, not just look right.
  if(COMMAND kelvor_add_test AND TARGET kelvor_about)
    kelvor_add_test(test_shipped_key_store
      SOURCES ${KELVOR_PACKAGING_DIR}/tests/test_shipped_key_store.cpp
      LIBS kelvor_about)
    target_compile_definitions(test_shipped_key_store PRIVATE
      KELVOR_SHIPPED_KEY_STORE="${KELVOR_RESOURCES_DIR}/registry/registry.reg")
    set_tests_properties(test_shipped_key_store PROPERTIES LABELS packaging)
  endif()
endif()

include(${KELVOR_PACKAGING_DIR}/debian.cmake)
