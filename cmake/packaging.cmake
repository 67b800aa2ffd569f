# Debian packages made by CPack (`cpack -G DEB` in the build tree, or scripts/package.sh), one per
# install component: zorvane (the tool, zorvane-many, their man pages and the bash completion),
# libquarn2 (the shared library) and libquarn-dev (headers, static library, pkg-config files,
# CMake package), all three from the source package zorvane. dpkg-shlibdeps finds what the
# binaries need from the system; the packages of this build depend on each other at exactly this
# version. Descriptions follow Debian's form: a synopsis, then lines of at most 80 columns, to
# which CPack adds the leading blank.
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
set(CPACK_DEBIAN_PACKAGE_SOURCE zorvane)
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
# The changelog each package carries names the version it is of.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/debian/changelog QUARN_DEB_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT QUARN_DEB_CHANGELOG_TOP MATCHES "^zorvane \\(${QUARN_DEB_VERSION}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog does not begin with an entry for "
                      "${QUARN_DEB_VERSION}: add one")
endif()

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${ZORVANE_PACKAGE_tool})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION text)
# zorvane-many runs the tool through GNU parallel; bash-completion loads the completion.
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libquarn2 (= ${QUARN_DEB_VERSION}), parallel")
set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS "bash-completion")
# The libraries that libquarn opens with dlopen when first needed (platform/shared_library.h) are
# no NEEDED entries, so dpkg-shlibdeps cannot see them: both packages that open them name them.
set(QUARN_DLOPEN_DEPENDS
    "libjpeg62-turbo, libpng16-16, libtiff6, libssl3, libfreetype6, libfontconfig1, libharfbuzz-subset0")
string(APPEND CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS ", ${QUARN_DLOPEN_DEPENDS}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${QUARN_DLOPEN_DEPENDS}")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "command-line tool that stamps PDF files
zorvane writes a PDF file again with a watermark (the first page of another
PDF file, a PNG or JPEG image, or a line of text) and/or page numbers on
chosen pages. It runs unattended from scripts and batch jobs; zorvane-many
stamps many files at once with GNU parallel.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${ZORVANE_PACKAGE_runtime})
# The loader's cache is brought up to date by dpkg's ldconfig trigger, not by maintainer scripts
# (cmake/deb_without_ldconfig_scripts.cmake).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/deb_without_ldconfig_scripts.cmake)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "PDF object library (shared library)
libquarn reads PDF and FDF files, edits objects, pages, content streams,
resources and fonts, encodes and decodes stream data and writes documents back.
.
This package holds the shared library.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${ZORVANE_PACKAGE_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library and the CMake package need the headers and libraries of libquarn's own
# dependencies.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquarn${PROJECT_VERSION_MAJOR} (= ${QUARN_DEB_VERSION}), \
zlib1g-dev, libjpeg-dev, libpng-dev, libtiff-dev, libssl-dev, libfreetype-dev, libfontconfig-dev, libharfbuzz-dev, libdeflate-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "PDF object library (development files)
libquarn reads PDF and FDF files, edits objects, pages, content streams,
resources and fonts, encodes and decodes stream data and writes documents back.
.
This package holds the headers, the static library, the pkg-config files and
the CMake package.")

include(CPack)
