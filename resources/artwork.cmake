# The game's pictures, embedded as ":/images/...".
#
# The PNGs are drawn ahead of time from the SVG drawings beside them and committed, so a build
# needs nothing beyond Qt. To redraw them after changing a drawing (needs the Debian package
# fonts-dancingscript for the splash lettering):
#   cmake --build <build dir> --target kelvor_redraw_artwork
# See resources/images/README.md.

set(KELVOR_IMAGES
  images/icon.svg
  images/icon32.png
  icons/hicolor/16x16/apps/example.tandrel.LunarLanding.png
  icons/hicolor/48x48/apps/example.tandrel.LunarLanding.png
  icons/hicolor/64x64/apps/example.tandrel.LunarLanding.png
  images/moonscape_left.png
  images/moonscape_left@2x.png
  images/moonscape_right.png
  images/moonscape_right@2x.png
  images/splash.png
  images/splash@2x.png
  images/earth.png
  images/earth@2x.png)
foreach(set normal hot)
  foreach(shape new stop help about web)
    list(APPEND KELVOR_IMAGES
      images/toolbar/${set}/${shape}.png
      images/toolbar/${set}/${shape}@2x.png)
  endforeach()
endforeach()
# Named from this file's folder, whichever folder includes it; BASE keeps the aliases short.
list(TRANSFORM KELVOR_IMAGES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

# A static library whose only content is the resource: Qt puts the resource into an object
# library that travels with kelvor_resources, so every executable linking it gets the images
# registered at start-up without a Q_INIT_RESOURCE call.
qt_add_library(kelvor_resources STATIC)
target_link_libraries(kelvor_resources PRIVATE kelvor_warnings)
qt_add_resources(kelvor_resources "kelvor_images"
  PREFIX "/"
  BASE ${CMAKE_CURRENT_LIST_DIR}
  FILES ${KELVOR_IMAGES})

# The drawing program: never part of an ordinary build.
qt_add_executable(kelvor_draw_artwork EXCLUDE_FROM_ALL
  ${CMAKE_CURRENT_LIST_DIR}/artwork_generator/draw_artwork.cpp)
set_target_properties(kelvor_draw_artwork PROPERTIES WIN32_EXECUTABLE OFF MACOSX_BUNDLE OFF)
target_link_libraries(kelvor_draw_artwork PRIVATE Qt6::Gui Qt6::Svg kelvor_warnings)
add_custom_target(kelvor_redraw_artwork
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
    $<TARGET_FILE:kelvor_draw_artwork> ${CMAKE_CURRENT_LIST_DIR}
  DEPENDS kelvor_draw_artwork
  COMMENT "Drawing the game's pictures into ${CMAKE_CURRENT_LIST_DIR}"
  VERBATIM)
