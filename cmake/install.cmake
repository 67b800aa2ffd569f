# Installs the tool, libquarn, its public headers, a pkg-config file and a CMake package config.
include(CMakePackageConfigHelpers)

install(TARGETS zorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quarn EXPORT quarnTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarn)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/pdf ${CMAKE_SOURCE_DIR}/platform
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarn
        FILES_MATCHING PATTERN "*.h" PATTERN "*.inc")
install(EXPORT quarnTargets NAMESPACE quarn:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/quarnConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quarnConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quarnConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quarnConfig.cmake ${CMAKE_BINARY_DIR}/quarnConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn)

configure_file(${CMAKE_SOURCE_DIR}/cmake/libquarn.pc.in ${CMAKE_BINARY_DIR}/libquarn.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/libquarn.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
