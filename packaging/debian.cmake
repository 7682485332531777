# The Debian package: packaging/build-deb, which configures a build folder the Debian way and
# runs cpack -G DEB in it (packaging/check-package checks the result).
# Included from packaging/CMakeLists.txt, after every install rule.

# Any other build is not laid out as a Debian package (section games, the command in
# /usr/games, the key store as a conffile, Debian's copyright file): cpack there refuses, and
# says where the package is built.
if(NOT KELVOR_DEBIAN_PACKAGE)
  file(WRITE ${CMAKE_BINARY_DIR}/CPackConfig.cmake
       "message(FATAL_ERROR \"This build folder makes no package. The Debian package is built by "
       "packaging/build-deb, in a build folder of its own; other distributions install with "
       "cmake --install (README, For packagers).\")\n")
  file(REMOVE ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KELVOR_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tandrel)
# Debian wants a mail address with the maintainer's name (Policy 5.6.2); the changelog's
# trailer line names the same.
set(KELVOR_MAINTAINER "Tandrel <packages@tandrel.example>")
set(CPACK_PACKAGE_CONTACT ${KELVOR_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL https://www.tandrel.example/)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fly a lunar module down to the moon by hand")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Only the installed game goes into the package, not the tests or benchmarks, and
# without the debugging symbols of a RelWithDebInfo build.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KELVOR_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tandrel Lunar Landing is a small desktop game: choose the burn on the jet
thruster and press Ignite, one second at a time, to bring a lunar module
down from 500 feet onto the surface of the moon before the fuel runs out.
The landing is graded from a perfect landing to a fatal crash.")

# Depends come from the libraries the program links (dpkg-shlibdeps): a library the program
# comes to link, libdbus-1 say, is added there by itself. The rest are loaded or
# started at run time, where no linker sees them, so they are named here: Qt's SVG image and
# icon plugins for the artwork; alsa-lib, opened when the alarm first sounds
# (snd_pcm_set_params: 1.0.16); GIO, opened at the first web launch (libglib2.0-0;
# g_desktop_app_info_get_boolean: 2.36); and the help viewer with the database driver that
# reads its collection, because the help is part of the game and F1 without them only shows an
# error.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libasound2 (>= 1.0.16), libglib2.0-0 (>= 2.36), assistant-qt6, libqt6sql6-sqlite")
# The program the About dialog's System Info button starts: the game runs without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hardinfo")

# The key store, in a package built to hold it (packaging/build-deb), is the administrator's to
# edit: dpkg keeps local changes on upgrade.
if(KELVOR_INSTALL_KEYSTORE)
  file(WRITE ${KELVOR_PACKAGING_BINARY_DIR}/conffiles "${KELVOR_KEYSTORE_PATH}\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KELVOR_PACKAGING_BINARY_DIR}/conffiles)
else()
  file(REMOVE ${KELVOR_PACKAGING_BINARY_DIR}/conffiles)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
