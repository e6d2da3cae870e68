# Installation and the Debian package.
#
#   <prefix>/libexec/lodvikprodsok/lodvikprodsok   the command line; hands the window and the
#                                                  commands that paint over to lodvik-window
#   <prefix>/libexec/lodvikprodsok/lodvik-window   the full program: the window, print
#   <prefix>/libexec/lodvikprodsok/lodvik-accessreader
#                                                  reads an Access file for the import
#   <prefix>/bin/lodvikprodsok                     launcher: sets the program folder, see below
#   <prefix>/share/applications/lodvikprodsok.desktop, icons under share/icons/hicolor
#   <prefix>/share/metainfo/se.lodvik.lodvikprodsok.metainfo.xml  for software centres
#   <prefix>/share/man/man1/lodvikprodsok.1.gz, share/bash-completion/completions/lodvikprodsok
#   <prefix>/share/doc/lodvikprodsok/  README.md, copyright, changelog.Debian.gz
#
# The program folder is LODVIKPRODSOK_HOME, by default ~/.local/share/lodvikprodsok; the launcher
# fills a new one from /etc/lodvikprodsok (site files) or with demo data.
include(GNUInstallDirs)

# LODVIK_SITE_DIR (cli/CMakeLists.txt): the site files copied into a new program folder.
install(TARGETS lodvikprodsok lodvik-window lodvik-accessreader
        RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/lodvikprodsok)
# The compiler's version notes are of no use in an installed program (Debian's dh_strip drops them
# too).
foreach(program lodvikprodsok lodvik-window lodvik-accessreader)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/lodvikprodsok/${program}\"
        COMMAND_ERROR_IS_FATAL ANY)")
endforeach()

file(RELATIVE_PATH PROGRAM_FROM_LAUNCHER /${CMAKE_INSTALL_BINDIR}
     /${CMAKE_INSTALL_LIBEXECDIR}/lodvikprodsok/lodvikprodsok)
set(SITE_DIR ${LODVIK_SITE_DIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.sh.in
               ${CMAKE_CURRENT_BINARY_DIR}/launcher/lodvikprodsok @ONLY)
install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/launcher/lodvikprodsok
        DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/se.lodvik.lodvikprodsok.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME lodvikprodsok.png)
endforeach()
# What a server installation needs, for the administrator.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../server/sokdata-postgresql.sql
              ${CMAKE_CURRENT_LIST_DIR}/../server/extrakt-postgresql.sql
              ${CMAKE_CURRENT_LIST_DIR}/../server/lodvikprodsok.ini.example
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lodvikprodsok/server OPTIONAL)

# The weekly run: a systemd user service and its timer, off until the user enables the timer.
# The service names the launcher where this installation puts it (CPack installs under /usr).
install(CODE "
    set(LODVIK_UNIT_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok-veckokorning.service.in\"
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user/lodvikprodsok-veckokorning.service\"
        @ONLY)")
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok-veckokorning.timer
        DESTINATION lib/systemd/user)

# The manual page and the bash completion, made from the program's help texts.
set(generated ${CMAKE_CURRENT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${generated})
add_custom_command(
    OUTPUT ${generated}/lodvikprodsok.1.gz ${generated}/lodvikprodsok
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:lodvikprodsok> -DOUTPUT_DIR=${generated}
            -DCOMPLETION_TEMPLATE=${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.bash-completion.in
            -DMANUAL_SECTIONS=${CMAKE_CURRENT_LIST_DIR}/manual-sections.man
            -DCHANGELOG=${CMAKE_CURRENT_LIST_DIR}/changelog
            -P ${CMAKE_CURRENT_LIST_DIR}/GenerateFromProgram.cmake
    DEPENDS lodvikprodsok ${CMAKE_CURRENT_LIST_DIR}/GenerateFromProgram.cmake
            ${CMAKE_CURRENT_LIST_DIR}/lodvikprodsok.bash-completion.in
            ${CMAKE_CURRENT_LIST_DIR}/manual-sections.man ${CMAKE_CURRENT_LIST_DIR}/changelog
    COMMENT "Manual page and bash completion from the help texts"
    VERBATIM)
add_custom_target(lodvikprodsok-help-files ALL DEPENDS ${generated}/lodvikprodsok.1.gz
                                                       ${generated}/lodvikprodsok)
install(FILES ${generated}/lodvikprodsok.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/lodvikprodsok
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Debian's documentation: the copyright file and the changelog, compressed as Debian wants.
set(LODVIK_DEBIAN_REVISION 1)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/lodvikprodsok)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^lodvikprodsok \\(${PROJECT_VERSION}-${LODVIK_DEBIAN_REVISION}\\) ")
    message(FATAL_ERROR "packaging/changelog must begin with an entry for "
                        "${PROJECT_VERSION}-${LODVIK_DEBIAN_REVISION}, not: ${latest}")
endif()
add_custom_command(
    OUTPUT ${generated}/changelog.Debian.gz
    COMMAND gzip -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${generated}/changelog.Debian.gz
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
add_custom_target(lodvikprodsok-changelog ALL DEPENDS ${generated}/changelog.Debian.gz)
# Tags that do not apply to this package, each with the reason.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME lodvikprodsok)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${generated}/changelog.Debian.gz
              ${CMAKE_CURRENT_LIST_DIR}/../README.md
        DESTINATION ${doc_dir})

set(CPACK_PACKAGE_NAME lodvikprodsok)
set(CPACK_PACKAGE_VENDOR "Lodvik")
set(CPACK_PACKAGE_CONTACT "Lodvik IT <it@lodvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "produktsökning och lagerrapporter")
# Lines under 80 characters, as Debian's tools show them, none beginning with a full stop (a
# control line there).
set(CPACK_PACKAGE_DESCRIPTION
    "LodvikProdSok söker, ändrar, tar bort och skriver ut produkterna i\n\
produkttabellen och räknar ut lager-, order- och försäljningssiffror per\n\
lagerkälla (DP, FRN, PJ) ur extrakttabellerna i local.mdb.\n\
Täckningskörningen räknar ut hur många veckor lagret räcker, och programmet\n\
skriver täcknings- och lagersammanställningar som arbetsböcker: .xls, och\n\
täckningslistan som .xlsx när produkterna är fler än ett .xls-blad rymmer.\n\
Allt går också att köra från kommandoraden.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LODVIK_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# No detached debug symbols: the -dbgsym package of this CPack lists its file under the wrong
# path in md5sums.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its database drivers as plugins, which no library dependency reveals.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
# Liberation fonts have the widths of the fonts the window and the printout were laid out with.
# Qt's Swedish translation gives its buttons and dialogs Swedish texts; xdg-utils opens a shown
# workbook in the desktop's spreadsheet program. Recommends, as the command line (cron) needs
# neither.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-liberation2, qt6-translations-l10n, xdg-utils, libqt6sql6-psql, libqt6sql6-odbc")
# The workbooks open in a spreadsheet program.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "libreoffice-calc | gnumeric, odbc-postgresql, postgresql")
include(CPack)
