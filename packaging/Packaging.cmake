# Installation and the Debian package.
#
#   <prefix>/libexec/lodvikprodsok/lodvikprodsok   the program
#   <prefix>/libexec/lodvikprodsok/lodvik-accessreader
#                                                  reads an Access file for the import
#   <prefix>/bin/lodvikprodsok                     launcher: sets the program folder, see below
#   <prefix>/share/applications/lodvikprodsok.desktop, icons under share/icons/hicolor
#
# The program folder is LODVIKPRODSOK_HOME, by default ~/.local/share/lodvikprodsok; the launcher
# fills a new one from /etc/lodvikprodsok (site files) or with demo data.
include(GNUInstallDirs)

set(LODVIK_SITE_DIR "/etc/lodvikprodsok" CACHE PATH "Site files copied into a new program folder")

install(TARGETS lodvikprodsok lodvik-accessreader
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/lodvikprodsok)

file(RELATIVE_PATH PROGRAM_FROM_LAUNCHER /${CMAKE_INSTALL_BINDIR}
     /${CMAKE_INSTALL_LIBEXECDIR}/lodvikprodsok/lodvikprodsok)
set(SITE_DIR ${LODVIK_SITE_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.sh.in
               ${CMAKE_CURRENT_BINARY_DIR}/launcher/lodvikprodsok @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/launcher/lodvikprodsok
        DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME lodvikprodsok.png)
endforeach()
# What a server installation needs, for the administrator.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../server/sokdata-postgresql.sql
              ${CMAKE_CURRENT_LIST_DIR}/../server/lodvikprodsok.ini.example
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lodvikprodsok/server OPTIONAL)

set(CPACK_PACKAGE_NAME lodvikprodsok)
set(CPACK_PACKAGE_VENDOR "Lodvik")
set(CPACK_PACKAGE_CONTACT "Lodvik IT <it@lodvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Produktsökning och lagerrapporter")
set(CPACK_PACKAGE_DESCRIPTION
    "Searches, edits and prints the product search table and computes stock, order and sales\n\
figures and coverage workbooks from the extract tables of local.mdb.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its database drivers as plugins, which no library dependency reveals.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, libqt6sql6-odbc")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, postgresql")
include(CPack)
