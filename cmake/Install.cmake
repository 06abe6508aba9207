# What `cmake --install` puts in place, and the Debian package made of it (`cpack -G DEB`):
#   bin/kolvaster                              the launcher
#   bin/kolvaster-publicar                     the publisher's tool (keys, signed uploads)
#   lib/kolvaster/libkolvastervisor.so         the report engine, loaded on the first report
#                                              (with the report pages' chart loader built in;
#                                              they draw with Debian's libjs-chart.js)
#   share/applications/kolvaster.desktop       its entry in the desktop's menu, with its icon
#   lib/libkolvasterclient.a, libkolvasterreportes.a (+ the reports' icons as an object file)
#   include/kolvaster/*.h                      the libraries' public headers (with the About
#                                              dialog's form header)
#   lib/cmake/Kolvaster/                       find_package(Kolvaster): Kolvaster::kolvasterclient,
#                                              Kolvaster::kolvasterreportes
#   share/doc/kolvaster/ejemplo/muestra/      the sample program, buildable on its own
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KOLVASTER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kolvaster)

install(TARGETS kolvaster kolvaster-publicar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT launcher)
# The report engine, loaded by the launcher on its first report from ../lib/kolvaster.
install(TARGETS kolvastervisor LIBRARY DESTINATION ${KOLVASTER_MODULO_DESTINO}
        COMPONENT launcher)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kolvaster.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT launcher)
install(FILES ${CMAKE_SOURCE_DIR}/resources/appico_48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME kolvaster.png
        COMPONENT launcher)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kolvaster_128.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps RENAME kolvaster.png
        COMPONENT launcher)

install(TARGETS kolvasterclient kolvasterreportes ${KOLVASTERREPORTES_RESOURCE_TARGETS}
        EXPORT KolvasterTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        OBJECTS DESTINATION ${CMAKE_INSTALL_LIBDIR}/kolvaster
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kolvaster
        COMPONENT dev)
install(EXPORT KolvasterTargets NAMESPACE Kolvaster:: DESTINATION ${KOLVASTER_CMAKE_DIR}
        COMPONENT dev)
configure_package_config_file(${CMAKE_SOURCE_DIR}/packaging/KolvasterConfig.cmake.in
    ${CMAKE_BINARY_DIR}/packaging/KolvasterConfig.cmake INSTALL_DESTINATION ${KOLVASTER_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/KolvasterConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/KolvasterConfig.cmake
              ${CMAKE_BINARY_DIR}/packaging/KolvasterConfigVersion.cmake
        DESTINATION ${KOLVASTER_CMAKE_DIR} COMPONENT dev)

set(KOLVASTER_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kolvaster)
set(KOLVASTER_EXAMPLE_DIR ${KOLVASTER_DOC_DIR}/ejemplo/muestra)
install(FILES ${CMAKE_SOURCE_DIR}/src/share/muestra/muestra.cpp
              ${CMAKE_SOURCE_DIR}/src/share/muestra/inicios.h
        DESTINATION ${KOLVASTER_EXAMPLE_DIR} COMPONENT dev)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/ejemplo/CMakeLists.txt
        DESTINATION ${KOLVASTER_EXAMPLE_DIR} COMPONENT dev)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${KOLVASTER_DOC_DIR} COMPONENT dev)
# The guides the README links to, with their pictures, beside it as in the source tree.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION ${KOLVASTER_DOC_DIR} COMPONENT dev)

# One Debian package with the launcher and the libraries for the suite's programs. dpkg-shlibdeps
# finds the launcher's shared libraries (Qt 6 with WebEngine, libxlsxwriter, libmariadb3, and
# libsodium23 and libssl3 for the publisher signatures, which the publishing tool also links); the
# MySQL driver is a plugin Qt loads at run time, so it is named by hand.
set(CPACK_PACKAGE_NAME kolvaster)
set(CPACK_PACKAGE_VENDOR "Kolvaster")
if(NOT CPACK_PACKAGE_CONTACT)   # the package's maintainer: -DCPACK_PACKAGE_CONTACT="Name <mail>"
  set(CPACK_PACKAGE_CONTACT "Kolvaster <kolvaster@example.org>")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Launcher of the suite's database programs")
set(CPACK_PACKAGE_DESCRIPTION "Logs users in to the suite's MariaDB/MySQL database, keeps \
their programs in sync and starts them; with the libraries and CMake package to build the suite's \
programs against the launcher's session record, reports and spreadsheet export.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kolvaster)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES bin/kolvaster bin/kolvaster-publicar
    ${KOLVASTER_MODULO_DESTINO}/libkolvastervisor.so)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The forms' font and Qt's Spanish texts are files the launcher loads at run time as well, and
# so is Chart.js, with which the report pages draw their charts (libjs-chart.js).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-mysql, fonts-liberation2, qt6-translations-l10n, libjs-chart.js")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-base-dev, qt6-webengine-dev, libxlsxwriter-dev, libsodium-dev, libssl-dev, cmake, g++")
include(CPack)
