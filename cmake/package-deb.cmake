# The Linux program's documents, and its Debian package made by CPack from the
# install rules (scripts/package-deb.sh makes it in a release build configured for
# /usr, on the Debian release it is for).
#
#   /usr/bin/teclix, stripped; the menu entry and the icons (platform/linux)
#   /usr/share/man/man1/teclix.1.gz               the manual page
#   /usr/share/doc/teclix/copyright               machine-readable (DEP-5)
#   /usr/share/doc/teclix/changelog.gz            CHANGELOG.md
#   /usr/share/doc/teclix/changelog.Debian.gz     the package's own entry
#
# Its dependencies are the libraries the program links, as dpkg-shlibdeps finds them
# on the machine that builds it. Its revision names the Debian release that machine
# runs: teclix_1.0.0-1~deb12_amd64.deb on Debian 12, ~deb13 on Debian 13.
include(GNUInstallDirs)

cmake_host_system_information(RESULT teclix_os_id QUERY DISTRIB_ID)
cmake_host_system_information(RESULT teclix_os_version QUERY DISTRIB_VERSION_ID)
cmake_host_system_information(RESULT teclix_os_codename QUERY DISTRIB_VERSION_CODENAME)
if(teclix_os_id STREQUAL "debian" AND teclix_os_version)
  set(teclix_default_revision "1~deb${teclix_os_version}")
else()
  set(teclix_default_revision "1")
endif()
set(TECLIX_DEBIAN_REVISION "${teclix_default_revision}"
    CACHE STRING "Debian revision of the package (after the version's hyphen)")
set(TECLIX_PACKAGE_MAINTAINER "The Teclix developers <packages@${TECLIX_MAKER_DOMAIN}>"
    CACHE STRING "Maintainer of the Debian package: name <address>")

set(teclix_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/teclix)
set(teclix_docs ${CMAKE_BINARY_DIR}/docs)

# gzip -9n: no name, no time stamp, so the same text gives the same bytes.
function(teclix_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9n -c \"$1\" >\"$2\"" sh ${source} ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
endfunction()

configure_file(${PROJECT_SOURCE_DIR}/resources/teclix.1.in ${teclix_docs}/teclix.1 @ONLY)
teclix_gzip(${teclix_docs}/teclix.1 ${teclix_docs}/teclix.1.gz)
teclix_gzip(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${teclix_docs}/changelog.gz)

# The package's own change log, in Debian's format: one entry, this version built
# for this release (its date SOURCE_DATE_EPOCH when set).
string(TIMESTAMP teclix_changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(teclix_os_codename)
  set(teclix_distribution ${teclix_os_codename})
else()
  set(teclix_distribution unstable)
endif()
file(WRITE ${teclix_docs}/changelog.Debian
     "teclix (${PROJECT_VERSION}-${TECLIX_DEBIAN_REVISION}) ${teclix_distribution}; urgency=medium\n"
     "\n"
     "  * Teclix ${PROJECT_VERSION}, built for ${teclix_distribution}.\n"
     "\n"
     " -- ${TECLIX_PACKAGE_MAINTAINER}  ${teclix_changelog_date}\n")
teclix_gzip(${teclix_docs}/changelog.Debian ${teclix_docs}/changelog.Debian.gz)

add_custom_target(teclix_docs ALL
  DEPENDS ${teclix_docs}/teclix.1.gz ${teclix_docs}/changelog.gz ${teclix_docs}/changelog.Debian.gz)

install(FILES ${teclix_docs}/teclix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${teclix_docs}/changelog.gz
              ${teclix_docs}/changelog.Debian.gz
        DESTINATION ${teclix_doc_dir})

# --- the package ---------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME teclix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Teclix developers")
set(CPACK_PACKAGE_CONTACT "${TECLIX_PACKAGE_MAINTAINER}")
# CPack runs the install rules with CMAKE_INSTALL_PREFIX set to this and DESTDIR
# to its staging directory, so the menu entry's Exec (written from
# CMAKE_INSTALL_PREFIX) names /usr/bin/teclix, where the package puts it (whatever
# prefix the build was configured with; the package's test checks the entry).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PACKAGE_NAME teclix)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TECLIX_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TECLIX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${TECLIX_MAKER_HOST}/")
# libei, through which teclix types where the desktop offers emulated input, is
# loaded at run time (dlopen), so dpkg-shlibdeps does not see it; Debian has it
# from 13 on.
if(teclix_os_id STREQUAL "debian" AND teclix_os_version VERSION_GREATER_EQUAL 13)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libei1)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "paste the clipboard by typing it as key presses")
# The long description, below the summary (no double quotes: they do not survive
# CPack's configuration file).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "While its window is open, Teclix holds F10: each press reads the clipboard's
text and types it, as synthetic key presses, into the focused control of
whatever application is in front. The text arrives where paste does not
work: remote-desktop and virtual-machine consoles, terminals, forms that
block paste.

It types on X11, and in a Wayland session through the compositor's virtual
keyboard (sway, labwc) or the desktop portal (GNOME, Plasma). The command
teclix --paste asks the open Teclix to paste, for a desktop shortcut where
F10 cannot be taken.")

include(CPack)
