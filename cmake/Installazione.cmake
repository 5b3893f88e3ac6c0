# What `cmake --install` puts in place and what the Debian package holds: the two programs,
# the desktop entry with its icon, and the data files the program reads at run time.
include(GNUInstallDirs)

install(TARGETS korva RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(KORVA_GUI)
  install(TARGETS korvawin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/data/korvawin.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/data/korvawin.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# The Debian package: only what the programs need at run time. Qt's own Italian texts come
# from the system's translations (qt6-translations-l10n), the embedded archive engine from
# firebird3.0-server-core.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvawin)
set(CPACK_PACKAGE_VENDOR "KORVAWIN")
set(CPACK_PACKAGE_CONTACT "KORVAWIN <korvawin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Amministrazione delle tabelle archivi: Paradox e archivio Interbase/Firebird")
set(CPACK_PACKAGE_DESCRIPTION
    "KORVAWIN tiene il dizionario delle tabelle di una famiglia di applicazioni gestionali e da esso\nregistra, crea, verifica, reindicizza, rigenera, ripara, salva, compatta e copia le tabelle\nParadox e quelle dell'archivio Firebird. Comprende il programma con finestre korvawin e il\ncomando korva.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.36), libstdc++6 (>= 12), libgcc-s1, libfbclient2 (>= 3.0), firebird3.0-server-core (>= 3.0)")
if(KORVA_GUI)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
         ", libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), qt6-qpa-plugins, qt6-translations-l10n")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
endif()
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
