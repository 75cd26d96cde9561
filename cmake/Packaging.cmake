# Installation into the usual places and a Debian package built by CPack (`make package`).

# GNUInstallDirs names the documentation folder after the CMake project ("Altimo"); Debian and
# `apt` users look for it under the package name.
set(ALTIMO_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/altimo)

# Manual pages are installed gzipped, as man-db and Debian expect; -n keeps the archives free of
# time stamps so that two builds of the same tree give the same package.
find_program(ALTIMO_GZIP gzip REQUIRED)
set(altimo_man_pages altimo-cli)
if(ALTIMO_BUILD_GUI)
    list(APPEND altimo_man_pages altimo)
endif()
set(altimo_man_archives)
foreach(page IN LISTS altimo_man_pages)
    set(archive ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${archive}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
        COMMAND ${ALTIMO_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
        VERBATIM)
    list(APPEND altimo_man_archives ${archive})
endforeach()
add_custom_target(altimo_man_pages ALL DEPENDS ${altimo_man_archives})
install(FILES ${altimo_man_archives} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(ALTIMO_BUILD_GUI)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/altimo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/altimo.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

# What Debian asks of every package's documentation folder: the copyright file (machine-readable,
# the licence and those of what the programs link) and, the package being native (its version has
# no Debian revision), the changelog as changelog.gz.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog altimo_changelog_top LIMIT_COUNT 1)
if(NOT altimo_changelog_top MATCHES "^altimo \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog starts with \"${altimo_changelog_top}\"; its first entry must be "
                        "version ${PROJECT_VERSION}, the project's version")
endif()
set(altimo_changelog_archive ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${altimo_changelog_archive}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog
    COMMAND ${ALTIMO_GZIP} -9nf ${CMAKE_CURRENT_BINARY_DIR}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(altimo_changelog ALL DEPENDS ${altimo_changelog_archive})
install(FILES ${altimo_changelog_archive} ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${ALTIMO_INSTALL_DOCDIR})

# The README links to docs/..., so the documents keep that folder beside it.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${ALTIMO_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${ALTIMO_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png" PATTERN "man" EXCLUDE)

set(CPACK_PACKAGE_NAME "altimo")
# The maintainer must be an address that mail can reach (lintian refuses a host such as
# "localhost"); a distributor sets their own with -DALTIMO_MAINTAINER=... and adds a changelog
# entry under that name.
set(ALTIMO_MAINTAINER "Altimo developers <altimo@example.org>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_VENDOR "Altimo developers")
set(CPACK_PACKAGE_CONTACT "${ALTIMO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ALTIMO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Terrain data preparation: height files, shorelines, cliff masks")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_PACKAGE_DESCRIPTION
    "RAW 16-bit height maps become tiled, compressed height files; compressed
water masks become shoreline files; height files become 8-bit cliff mask
bitmaps.

The package holds the desktop application (altimo) and the command-line
tool (altimo-cli) with their manual pages.")
# The runtime dependencies are the Debian packages of the libraries the binaries link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
include(CPack)
