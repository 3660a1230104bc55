# The Debian package orvan_VERSION_ARCH.deb, built by CPack from the install rules (`cpack -G DEB` in the
# build folder). Its maintainer scripts create the system user orvan, its folders, the registry entry
# and the first database, and enable orvan.service (packaging/postinst, prerm, postrm); the libraries in
# the public library folder make dpkg run ldconfig (packaging/triggers).
set(ORVAN_PACKAGE_MAINTAINER "Agenda Orvan <agenda-orvan@orvan.example>" CACHE STRING
    "Maintainer field of the Debian package")

# Debian's own documentation files: the copyright statement and the changelog, compressed (the package
# is native, its version has no Debian revision, so the changelog is changelog.gz).
set(ORVAN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/orvan)
configure_file(${ORVAN_PACKAGING}/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                   COMMAND ${GZIP} -9nc ${PROJECT_BINARY_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
                   DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(orvan_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${ORVAN_PACKAGING}/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${ORVAN_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ORVAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "agenda web application server with the Orvan_Geral component")
set(CPACK_PACKAGE_DESCRIPTION "The orvan command serves a site of ASP-style pages (VBScript or JScript)
over HTTP and runs the Orvan_Geral business component (Comum, Geral, Pauta)
on SQLite or PostgreSQL through ADO-style objects. The package installs the
orvan service (systemd), its configuration in /etc/orvan, the demo agenda site,
the reference schema, and the headers, libraries, CMake package and
pkg-config file for programs that embed the component.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ORVAN_PACKAGING}/postinst ${ORVAN_PACKAGING}/prerm
                                       ${ORVAN_PACKAGING}/postrm ${ORVAN_PACKAGING}/conffiles
                                       ${ORVAN_PACKAGING}/triggers)
include(CPack)
