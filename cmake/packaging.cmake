# The Debian package (cpack -G DEB), the file type and the software-centre data.

# The file type of the files both programs write, so that file managers name them and know
# them by their first bytes.
install(FILES ${PROJECT_SOURCE_DIR}/resources/pelorin-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME pelorin.xml)

# Software-centre data, for the desktop program only: it points at the menu entry.
if(TARGET take-screenshots)
  # A reverse-DNS id under the project's own name; it names the metainfo file, and software
  # centres know the program by it, so it stays the same from release to release.
  set(PELORIN_APPSTREAM_ID io.github.pelorin.Pelorin)
  # Software centres fetch screenshots over https; the same pictures are installed with the
  # package under share/pelorin/screenshots/, ready to be published there.
  set(PELORIN_SCREENSHOT_URL "https://pelorin.github.io/screenshots" CACHE STRING
    "Where the software-centre screenshots are published (https)")
  # The release date goes with the version in project(): change both together.
  set(pelorin_release_version 2.1.0)
  set(PELORIN_RELEASE_DATE 2026-12-08)
  if(NOT pelorin_release_version VERSION_EQUAL PROJECT_VERSION)
    message(WARNING "cmake/packaging.cmake holds the release date of version "
      "${pelorin_release_version}, not of ${PROJECT_VERSION}: set the new release's date there")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/resources/pelorin.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/resources/${PELORIN_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/resources/${PELORIN_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The main window (it holds no text) and the settings window in each language, rendered by
  # the program's own code whenever it changes.
  set(pelorin_screenshots)
  foreach(picture main settings-en settings-ja)
    list(APPEND pelorin_screenshots ${CMAKE_BINARY_DIR}/resources/screenshots/${picture}.png)
  endforeach()
  add_custom_command(OUTPUT ${pelorin_screenshots}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:take-screenshots>
      -DOUT=${CMAKE_BINARY_DIR}/resources/screenshots
      -P ${PROJECT_SOURCE_DIR}/packaging/render-screenshots.cmake
    DEPENDS take-screenshots ${PROJECT_SOURCE_DIR}/packaging/render-screenshots.cmake
    COMMENT "Rendering the software-centre screenshots"
    VERBATIM)
  add_custom_target(pelorin_screenshots ALL DEPENDS ${pelorin_screenshots})
  install(FILES ${pelorin_screenshots} DESTINATION ${CMAKE_INSTALL_DATADIR}/pelorin/screenshots)
endif()

set(PELORIN_PACKAGE_MAINTAINER "Pelorin maintainers <maintainers@pelorin.example>" CACHE STRING
  "The Maintainer line of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorin)
set(CPACK_PACKAGE_VENDOR Pelorin)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert sounds into KIVRA ring tones")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Pelorin turns a sound into a KIVRA file (.mmf), the ring and alert tone file\n"
  "that mobile phones play: 4-bit ADPCM at 4000 or 8000 Hz with a title, a\n"
  "copyright line and permission flags.\n"
  "\n"
  "The desktop program takes a WAV or AIFF file dropped on its window; the\n"
  "command line, pelorin-cli, converts any common sound format in batches, can\n"
  "keep a part of a sound, fade it and set its loudness, and checks and decodes\n"
  "KIVRA files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME pelorin)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELORIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binaries link, as dpkg-shlibdeps finds them (dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET pelorin)
  # The window sets its texts in these fonts; without them a fallback font changes the layout.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2 | fonts-liberation, fonts-noto-cjk")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: the dpkg triggers of shared-mime-info, desktop-file-utils and
# hicolor-icon-theme refresh their caches when files land in their folders.

include(CPack)
