# Packages from the same build: `cpack -G DEB` and `cpack -G TGZ` in the build directory.
set(CPACK_PACKAGE_NAME vorlan-tools)
set(VORLAN_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})

# Debian wants the maintainer's real address; packagers set theirs at configure time.
set(VORLAN_MAINTAINER "vorlan-tools authors <authors@vorlan-tools.invalid>"
    CACHE STRING "The packages' maintainer, as: Name <address>")

# The copyright file in Debian's machine-readable form, its terms taken from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(VORLAN_COPYRIGHT "${CMAKE_MATCH_1}")
string(FIND "${license}" "Permission is hereby granted" terms_start)
string(SUBSTRING "${license}" ${terms_start} -1 terms)
string(STRIP "${terms}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " VORLAN_LICENSE_TERMS "${terms}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}

Files: *
Copyright: @VORLAN_COPYRIGHT@
License: Expat
 @VORLAN_LICENSE_TERMS@
")

# The changelog's latest entry names the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${CPACK_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/changelog
                           ${CMAKE_BINARY_DIR}/changelog
                   COMMAND ${VORLAN_GZIP} -9nf ${CMAKE_BINARY_DIR}/changelog
                   DEPENDS ${PROJECT_SOURCE_DIR}/changelog VERBATIM)
add_custom_target(changelog_gz ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/copyright
              ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${VORLAN_DOCDIR})

set(CPACK_PACKAGE_VENDOR "vorlan")
set(CPACK_PACKAGE_CONTACT "${VORLAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 columns, as Debian's description field wants them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Plays back movies, text recordings of MUD play made by the vorlan client:\n"
       "a full-screen viewer with colours, speed and seeking (vorlan-viewer), a\n"
       "real-time replayer and transcript writer (vorlan-replay, vorlan-totext),\n"
       "writers of a web page and of an asciicast for sharing a movie\n"
       "(vorlan-tohtml, vorlan-tocast), and an unbuffered copier (rawcopy).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The runtime dependencies (ncursesw and its terminfo library, utf8proc, the character set
# detector, the C++ runtime) are read off
# the binaries where dpkg-shlibdeps exists; elsewhere they are named.
find_program(VORLAN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VORLAN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libncursesw6 (>= 6), libtinfo6 (>= 6), libutf8proc2, libuchardet0")
endif()

include(CPack)
