# Installs the tool with zorvane-many, their man pages and the bash completion, libquarn (shared
# and static), its public headers, a pkg-config file and a CMake package config. Each file
# belongs to the component of the Debian package that carries it (cmake/packaging.cmake): tool
# (zorvane), runtime (libquarn2) or dev (libquarn-dev).
include(CMakePackageConfigHelpers)

set(ZORVANE_PACKAGE_tool zorvane)
set(ZORVANE_PACKAGE_runtime libquarn${PROJECT_VERSION_MAJOR})
set(ZORVANE_PACKAGE_dev libquarn-dev)

# Manual pages and the Debian changelog are installed compressed, as Debian keeps them; gzip -n
# leaves the time out, so every build makes the same bytes.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(ZORVANE_GZIP_DIR ${CMAKE_BINARY_DIR}/gzipped)
set(ZORVANE_GZIPPED)
function(zorvane_gzip source name)
  set(plain ${ZORVANE_GZIP_DIR}/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZORVANE_GZIP_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${GZIP_EXECUTABLE} -9nf ${plain}
    DEPENDS ${source} VERBATIM)
  set(ZORVANE_GZIPPED ${ZORVANE_GZIPPED} ${plain}.gz PARENT_SCOPE)
endfunction()
zorvane_gzip(${CMAKE_SOURCE_DIR}/man/zorvane.1 zorvane.1)
zorvane_gzip(${CMAKE_SOURCE_DIR}/man/zorvane-many.1 zorvane-many.1)
zorvane_gzip(${CMAKE_SOURCE_DIR}/cmake/debian/changelog changelog.Debian)
add_custom_target(zorvane_gzipped ALL DEPENDS ${ZORVANE_GZIPPED})

install(TARGETS zorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
# Linked to find libquarn beside itself in the build tree; installed, it finds it where the
# system keeps libraries, with no search path of its own.
install(CODE "file(RPATH_REMOVE FILE
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zorvane\")" COMPONENT tool)
# The recipe for many files, which the man page cites, as a command of its own.
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/stamp-many.sh DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME zorvane-many COMPONENT tool)
install(FILES ${ZORVANE_GZIP_DIR}/zorvane.1.gz ${ZORVANE_GZIP_DIR}/zorvane-many.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
# Where bash-completion loads it by itself the first time "zorvane" is completed.
install(FILES ${CMAKE_SOURCE_DIR}/completion/zorvane.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zorvane
        COMPONENT tool)
# Every Debian package carries its copyright and changelog in its own documentation directory,
# and the lintian overrides (each with its reason) under its own name.
foreach(component tool runtime dev)
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${ZORVANE_GZIP_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ZORVANE_PACKAGE_${component}}
          COMPONENT ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME ${ZORVANE_PACKAGE_${component}} COMPONENT ${component})
endforeach()
install(TARGETS quarn_shared quarn EXPORT quarnTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarn)
# A stripped install (`--strip`, CPack) takes the debug sections off the archive too.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:quarn>\")
endif()" COMPONENT dev)
# The headers of the API: every header of the layers but the library's own internals (the
# generated font tables and their declarations, the helpers of the filter and walk code, the
# table of the libcrypto functions opened on first use, the private state of the classes).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/pdf ${CMAKE_SOURCE_DIR}/platform
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quarn
        COMPONENT dev
        FILES_MATCHING PATTERN "*.h"
        PATTERN "data" EXCLUDE
        PATTERN "builtin_data.h" EXCLUDE
        PATTERN "filter_chars.h" EXCLUDE
        PATTERN "walk_guard.h" EXCLUDE
        PATTERN "crypto_library.h" EXCLUDE
        PATTERN "*_members.h" EXCLUDE)
install(EXPORT quarnTargets NAMESPACE quarn:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn
        COMPONENT dev)

configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/quarnConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quarnConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quarnConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quarnConfig.cmake ${CMAKE_BINARY_DIR}/quarnConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/quarn COMPONENT dev)

# libquarn.pc names its directories relative to its own place (${pcfiledir}), so that it stays
# right for whatever prefix `cmake --install --prefix` is given. Absolute install directories
# are kept as they are.
set(QUARN_PC_DIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QUARN_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH QUARN_PC_UP "/prefix/${QUARN_PC_DIR}" "/prefix")
  string(REGEX REPLACE "/$" "" QUARN_PC_UP "${QUARN_PC_UP}")
  set(QUARN_PC_PREFIX "\${pcfiledir}/${QUARN_PC_UP}")
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(QUARN_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(QUARN_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
string(APPEND QUARN_PC_INCLUDEDIR "/quarn")
# libquarn.pc links the shared library, libquarn-static.pc the static one.
foreach(pc libquarn libquarn-static)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${QUARN_PC_DIR} COMPONENT dev)
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/packaging.cmake)
