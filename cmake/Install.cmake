# What `cmake --install` puts beside the two executables, and the Debian package made of it
# (scripts/package).

install(FILES data/corvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/icons/corvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES data/icons/corvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME corvane.png)
endforeach()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "download, polling and programming of hand-held barcode data terminals")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane talks to a hand-held barcode data terminal on a serial port: it checks that the
terminal answers and reads its firmware version, counts and clears the records it holds,
polls it and stores every record in the day's poll file, programs its parameters and clock,
and browses the poll files. The user interface is in Italian.
.
The package also holds corvane-terminal-simulator, a simulated terminal on a
pseudo-terminal, for trying the program without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the executables link against: the system's Qt.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
