# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package (`cmake --build build --target package`): the programs and their files in
# /usr/lib/varnolt with their commands in /usr/bin, the desktop files and manual pages in their
# usual places, and the dependencies read from the binaries by dpkg-shlibdeps.

# The report command has its manual page only when it is built.
if(TARGET varnolt-report)
    varnolt_man_page(varnolt-report.1)
endif()

set(VARNOLT_PACKAGE_MAINTAINER "Varnolt maintainers <maintainers@varnolt.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(VARNOLT_DEB_VERSION ${PROJECT_VERSION}-1)

# Debian wants the copyright in its machine-readable form and the changelog compressed
# without a time stamp, both in the package's own documentation folder.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/varnolt)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VARNOLT_PACKAGE_MAINTAINER})
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
    COMMAND ${GZIP_EXECUTABLE} -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
    COMMENT "Compressing the package's changelog"
    VERBATIM)
add_custom_target(varnolt_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${doc_dir})

# Files under /etc are the administrator's to edit; dpkg keeps their edits on upgrade.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles "/etc/xdg/autostart/varnolt.desktop\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnolt)
set(CPACK_PACKAGE_VENDOR "Varnolt")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The autostart entry goes to /etc, outside the prefix: the package is staged with DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
# Release builds carry debugging information; the package ships the programs without it.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network traffic meter for the desktop tray")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Varnolt sits in the tray, reads the kernel's byte counters of the network
interfaces twice a second, shows the live rates as text and graphs and logs
the traffic into its own SQLite database. It keeps totals per day, week,
month and year and watches a daily, weekly or monthly volume allowance.

The command varnolt-report prints the same totals and the allowance in a
terminal, as a table, JSON or CSV.")
include(CPack)
