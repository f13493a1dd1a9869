# Packages from the same build: `cpack -G DEB` and `cpack -G TGZ` in the build directory.
set(CPACK_PACKAGE_NAME vorlan-tools)
install(FILES ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_PACKAGE_NAME})

set(CPACK_PACKAGE_VENDOR "vorlan")
set(CPACK_PACKAGE_CONTACT "vorlan developers <vorlan@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Plays back movies, text recordings of MUD play made by the vorlan client: a "
       "full-screen viewer with colours, speed and seeking (vorlan-viewer), a real-time "
       "replayer and transcript writer (vorlan-replay, vorlan-totext), writers of a web "
       "page and of an asciicast for sharing a movie (vorlan-tohtml, vorlan-tocast), and an "
       "unbuffered copier (rawcopy).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# The runtime dependencies (ncursesw and its terminfo library, the C++ runtime) are read off
# the binaries where dpkg-shlibdeps exists; elsewhere they are named.
find_program(VORLAN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VORLAN_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libncursesw6 (>= 6), libtinfo6 (>= 6)")
endif()

include(CPack)
