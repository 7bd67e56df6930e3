# Installation in the usual Linux places and a Debian package made by CPack:
#   /usr/bin                  taviro, taviro-db
#   /usr/lib/taviro           the six service executables the console starts
#   /usr/share/taviro         images/ and xsl/ (copied into the Logger folder when missing)
#   /usr/share/applications, /usr/share/icons   the desktop menu entry
#   /usr/lib/systemd/system   taviro-station.service (not enabled: a room chooses its stations)
# The package's postinst makes the operators' group taviro and the folders
# /var/lib/taviro, /var/log/taviro and /etc/taviro for it.

install(TARGETS taviro taviro-station taviro-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS TaviroComm TaviroMes6 TaviroSpraakReceiver TaviroSmsService TaviroMailSender
                TaviroAlarmEmailOntvangst
        RUNTIME DESTINATION ${TAVIRO_INSTALL_SERVICEDIR})
install(DIRECTORY ${TAVIRO_IMAGES_DIR}/ DESTINATION ${TAVIRO_INSTALL_DATADIR}/images)
install(FILES ${PROJECT_SOURCE_DIR}/resources/xsl/overzicht.xsl ${PROJECT_SOURCE_DIR}/resources/xsl/overzicht2.xsl
        DESTINATION ${TAVIRO_INSTALL_DATADIR}/xsl)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/taviro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/taviro-station.service DESTINATION lib/systemd/system)
install(FILES /usr/share/icons/Tango/scalable/apps/utilities-system-monitor.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME taviro.svg)

# Man pages and the changelog are shipped compressed, as Debian wants them.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(taviro_packaging_out ${CMAKE_BINARY_DIR}/packaging)
set(taviro_gzipped)
foreach(page taviro.1 taviro-station.1 taviro-db.1)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page} ${taviro_packaging_out}/${page} @ONLY)
    list(APPEND taviro_gzipped ${page})
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${taviro_packaging_out}/changelog @ONLY)
list(APPEND taviro_gzipped changelog)
set(taviro_gz_files)
foreach(name ${taviro_gzipped})
    add_custom_command(OUTPUT ${taviro_packaging_out}/${name}.gz
        COMMAND ${GZIP_EXECUTABLE} -9nkf ${name}
        DEPENDS ${taviro_packaging_out}/${name}
        WORKING_DIRECTORY ${taviro_packaging_out}
        VERBATIM)
    list(APPEND taviro_gz_files ${taviro_packaging_out}/${name}.gz)
endforeach()
add_custom_target(taviro_packaging_files ALL DEPENDS ${taviro_gz_files})
install(FILES ${taviro_packaging_out}/taviro.1.gz ${taviro_packaging_out}/taviro-station.1.gz
              ${taviro_packaging_out}/taviro-db.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${taviro_packaging_out}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/taviro)
# The installer's guide and every document it (or they) link to, with the
# one picture they show: a link in an installed guide must not lead nowhere
# (scripts/check-package.sh follows them all).
file(GLOB taviro_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${taviro_docs} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/taviro)
install(FILES ${PROJECT_SOURCE_DIR}/docs/screenshots/mainwindow.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/taviro/screenshots)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME taviro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Taviro developers <taviro@example.nl>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "alarm-receiving and alarm-forwarding console for control rooms")
set(CPACK_PACKAGE_DESCRIPTION
    "Taviro takes alarm reports from building-automation transmitters through its
receiver services (serial modems, a MES-6 receiver, a speech modem, an alarm
mailbox), lists them for the control room's operator and, while the room is
unmanned, forwards every alarm by SMS and e-mail to whoever is on duty.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plug-ins Qt loads at run time, which no binary links against.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
