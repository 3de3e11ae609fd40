# The package: `cmake --build <build> --target package` makes the Debian
# package quorvin-updater_<version>_<arch>.deb and a .tar.gz of the same tree
# (the layout of InstallLayout.cmake, rooted at "/").

# The version as the window shows it: the build number has three digits
# (4.0.2 is "4.0.002").
math(EXPR QUORVIN_PACKAGE_BUILD_NUMBER "1000 + ${PROJECT_VERSION_PATCH}")
string(SUBSTRING ${QUORVIN_PACKAGE_BUILD_NUMBER} 1 3 QUORVIN_PACKAGE_BUILD_NUMBER)
set(QUORVIN_PACKAGE_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${QUORVIN_PACKAGE_BUILD_NUMBER})

set(QUORVIN_PACKAGE_MAINTAINER "Computer QUORVIN <packages@quorvin.example>"
    CACHE STRING "Maintainer of the Debian package")
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE QUORVIN_PACKAGE_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT QUORVIN_PACKAGE_ARCH)
  set(QUORVIN_PACKAGE_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME quorvin-updater)
set(CPACK_PACKAGE_VERSION ${QUORVIN_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "Computer QUORVIN")
set(CPACK_PACKAGE_CONTACT ${QUORVIN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "updater for the Computer QUORVIN applications")
set(CPACK_PACKAGE_DESCRIPTION
    "The Quorvin Program Updater keeps the Computer QUORVIN applications, installed
in folders below /opt/quorvin, up to date from the vendor's download server.
Members of the system group quorvin may update them without being root.")
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}_${QUORVIN_PACKAGE_VERSION}_${QUORVIN_PACKAGE_ARCH})
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
# The .tar.gz holds the tree itself, to unpack at "/" like the .deb.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries the program links come from the binary itself; adduser is what
# the maintainer script calls to create the group.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUORVIN_RESOURCES}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# A package is what users install: one of a build that trusts no root would
# install whatever a server serves them.  CPack reads the check below before
# it packs anything; QUORVIN_ALLOW_UNSIGNED=ON is the explicit choice that
# lets such a build through.
set(CPACK_QUORVIN_TRUST ${QUORVIN_TRUST})
set(CPACK_QUORVIN_ALLOW_UNSIGNED ${QUORVIN_ALLOW_UNSIGNED})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackageTrust.cmake)

include(CPack)
