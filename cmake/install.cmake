# What `cmake --install` puts where: the orvan command, the versioned module libraries (installed by
# orvan_module), the component library, the demo site and the schema, the headers an embedding program
# needs, find_package(Orvan) and pkg-config files, the man page, and the service's files.
include(CMakePackageConfigHelpers)

# The embedding surface: creating the component's objects (class registry, host objects), Variant,
# dispatch, errors, the ADO-style objects and the provider interface, with every header they include.
# The package test compiles a program against the installed copy, so a header missing here fails it.
set(ORVAN_PUBLIC_HEADERS
    agenda/pauta.h
    com_server/class_registry.h
    com_server/conversions.h
    com_server/dispatch.h
    com_server/enumeration.h
    com_server/error.h
    com_server/error_numbers.h
    com_server/event_log.h
    com_server/host.h
    com_server/object.h
    com_server/regional.h
    com_server/variant.h
    data_access/ado/ado.h
    data_access/comum.h
    data_access/date_helper.h
    data_access/providers/provider.h
    session_services/geral.h)
foreach(header ${ORVAN_PUBLIC_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvan/${folder})
endforeach()
install(FILES ${ORVAN_GENERATED_DIR}/com_server/version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orvan/com_server)

# The demo site and the reference schema.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/site/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orvan/site)
install(FILES ${PROJECT_SOURCE_DIR}/schema/common.sql ${PROJECT_SOURCE_DIR}/schema/sqlite.sql
              ${PROJECT_SOURCE_DIR}/schema/postgresql.sql ${PROJECT_SOURCE_DIR}/schema/sqlserver.sql
              ${PROJECT_SOURCE_DIR}/schema/oracle.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orvan/schema)

# find_package(Orvan): the targets Orvan::com, Orvan::data, ... and Orvan_COMPONENT, the installed
# component library. Relocatable: every path is relative to the installed configuration file.
set(ORVAN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Orvan)
install(EXPORT OrvanTargets NAMESPACE Orvan:: DESTINATION ${ORVAN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/OrvanConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/OrvanConfig.cmake
                              INSTALL_DESTINATION ${ORVAN_CMAKE_DIR}
                              PATH_VARS ORVAN_COMPONENT_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvanConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/OrvanConfig.cmake ${PROJECT_BINARY_DIR}/OrvanConfigVersion.cmake
        DESTINATION ${ORVAN_CMAKE_DIR})

# pkg-config: orvan.pc, with its prefix found from the file's own place.
file(RELATIVE_PATH ORVAN_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(${PROJECT_SOURCE_DIR}/cmake/orvan.pc.in ${PROJECT_BINARY_DIR}/orvan.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/orvan.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The man page, compressed as Debian keeps them (gzip -n: no name or time stamp, so builds repeat).
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/orvan.1.gz
                   COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/tools/orvan.1 > ${PROJECT_BINARY_DIR}/orvan.1.gz
                   DEPENDS ${PROJECT_SOURCE_DIR}/tools/orvan.1 VERBATIM)
add_custom_target(orvan_man ALL DEPENDS ${PROJECT_BINARY_DIR}/orvan.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/orvan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The service: configuration, systemd unit, log rotation. With the prefix /usr they go to /etc and
# /lib/systemd/system, as Debian places them.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(ORVAN_UNIT_DIR /lib/systemd/system)
else()
  set(ORVAN_UNIT_DIR ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(ORVAN_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
configure_file(${ORVAN_PACKAGING}/orvan.service.in ${PROJECT_BINARY_DIR}/packaging/orvan.service @ONLY)
configure_file(${ORVAN_PACKAGING}/agenda.json.in ${PROJECT_BINARY_DIR}/packaging/agenda.json @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/orvan.service DESTINATION ${ORVAN_UNIT_DIR})
install(FILES ${PROJECT_BINARY_DIR}/packaging/agenda.json DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/orvan)
install(FILES ${ORVAN_PACKAGING}/orvan.logrotate DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/logrotate.d
        RENAME orvan)
