# What `cmake --install` puts beside the executables, and the Debian package made of it
# (scripts/package).

install(FILES data/corvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# AppStream metadata for software centres, installed under its component id, the name AppStream
# looks for; the id is read from the file so it is written in one place.
file(STRINGS data/corvane.metainfo.xml metainfo_id REGEX "^[ \t]*<id>[^<]+</id>")
string(REGEX REPLACE ".*<id>([^<]+)</id>.*" "\\1" metainfo_id "${metainfo_id}")
if(NOT metainfo_id MATCHES "^[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]+)+$")
  message(FATAL_ERROR "data/corvane.metainfo.xml: no reverse-DNS <id> line ('${metainfo_id}')")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS data/corvane.metainfo.xml)
install(FILES data/corvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME ${metainfo_id}.metainfo.xml)
install(FILES data/icons/corvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${CORVANE_ICON_SIZES})
  install(FILES data/icons/corvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME corvane.png)
endforeach()
install(FILES README.md data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane)

# Manual pages and the changelog go in compressed, without a time stamp in the gzip header,
# so the package is the same from one build to the next.
set(compressed)
foreach(file man/corvane.1 man/corvane-terminal-simulator.1 man/corvane-poll.1
             man/corvane-ship.1 changelog)
  get_filename_component(name ${file} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/compressed
    COMMAND sh -c "gzip -9nc '${PROJECT_SOURCE_DIR}/data/${file}' > '${out}'"
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${file} VERBATIM)
  list(APPEND compressed ${out})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/corvane.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/corvane-terminal-simulator.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/corvane-poll.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/compressed/corvane-ship.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The unattended poller's service template, the one that brings it a terminal's line from the
# network, and the one that ships its poll files to PostgreSQL; installed, never enabled by the
# package.
install(FILES data/systemd/corvane-poll@.service data/systemd/corvane-link@.service
              data/systemd/corvane-ship@.service
        DESTINATION lib/systemd/system)
# The link is wanted by its poller, which lintian does not expect of a unit.
install(FILES data/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME corvane)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane developers <developers@corvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "download, polling and programming of hand-held barcode data terminals")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane talks to a hand-held barcode data terminal on a serial port: it
checks that the terminal answers and reads its firmware version, counts and
clears the records it holds, polls it and stores every record in the day's
poll file, programs its parameters and clock, and browses the poll files.
The window speaks Italian or English, following the desktop's language.
.
The package also holds corvane-poll, the polling cycle without a window,
with a systemd template unit to run it unattended, one instance per
terminal, another to reach a cradle on the network through socat;
corvane-ship, which ships the poll files into a PostgreSQL database, each
record once, with a template unit of its own beside the poller's; and
corvane-terminal-simulator, a simulated terminal on a pseudo-terminal,
for trying the program without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the executables link against: the system's Qt, and
# libpq for corvane-ship.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# socat carries a cradle's line from the network (corvane-link@.service); only that needs it.
# Qt's own translations give the standard buttons the operator's language ("Sì", "Yes").
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "socat, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
