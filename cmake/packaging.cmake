# Debian packages made by CPack (`cpack -G DEB` in the build tree, or scripts/package.sh), one per
# install component: zorvane (the tool, its man page and bash completion), libquarn2 (the shared
# library) and libquarn-dev (headers, static library, pkg-config files, CMake package).
# dpkg-shlibdeps finds what the binaries need from the system; the packages of this build depend
# on each other at exactly this version.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR "zorvane")
set(CPACK_PACKAGE_CONTACT "zorvane maintainers <maintainers@zorvane.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tool runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for the package with the shared library (libquarn2): a program built against
# libquarn 2.x depends on libquarn2 of at least the version it was built with.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The tool's libquarn.so.2 is not on the system yet: dpkg-shlibdeps finds it in the build tree and
# the dependency on libquarn2 is named below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
set(QUARN_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME zorvane)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION text)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libquarn2 (= ${QUARN_DEB_VERSION})")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "command-line tool that stamps PDF files
 zorvane writes a PDF file again with a watermark (the first page of another PDF file) and/or
 page numbers on chosen pages. It runs unattended from scripts and batch jobs.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquarn${PROJECT_VERSION_MAJOR})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "PDF object library (shared library)
 libquarn reads PDF and FDF files, edits objects, pages, content streams, resources and fonts,
 encodes and decodes stream data and writes documents back. This package holds the shared
 library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquarn-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library and the CMake package need the headers and libraries of libquarn's own
# dependencies.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquarn${PROJECT_VERSION_MAJOR} (= ${QUARN_DEB_VERSION}), \
zlib1g-dev, libjpeg-dev, libtiff-dev, libssl-dev, libfreetype-dev, libfontconfig-dev, libharfbuzz-dev, libdeflate-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "PDF object library (development files)
 libquarn reads PDF and FDF files, edits objects, pages, content streams, resources and fonts,
 encodes and decodes stream data and writes documents back. This package holds the headers, the
 static library, the pkg-config files and the CMake package.")

include(CPack)
