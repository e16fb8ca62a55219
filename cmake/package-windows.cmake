# The Windows program's zip, made by CPack from the install rules below:
#
#   cpack -G ZIP        (in the windows preset's build directory, after building)
#
# gives Teclix-<version>-windows-x64.zip, holding at its root Teclix.exe (one
# self-contained file: nothing to install beside it) and LEEME.txt, the short
# Spanish text for the user.
#
# LEEME.txt is resources/LEEME.txt.in with the version put in, CR LF line ends and
# UTF-8 with a byte-order mark: Notepad before Windows 10's May 2019 update reads a
# text without the mark in the ANSI code page (ñ would show as Ã±); every Notepad,
# and WordPad, reads the mark as UTF-8.
string(ASCII 239 187 191 teclix_utf8_bom)
file(READ ${PROJECT_SOURCE_DIR}/resources/LEEME.txt.in teclix_readme)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/LEEME.txt
     CONTENT "${teclix_utf8_bom}${teclix_readme}" @ONLY NEWLINE_STYLE CRLF)
# Edits to the text configure the build again.
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND
             PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/LEEME.txt.in)

install(TARGETS Teclix RUNTIME DESTINATION . COMPONENT windows_zip)
install(FILES ${CMAKE_BINARY_DIR}/package/LEEME.txt DESTINATION . COMPONENT windows_zip)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Teclix)
set(CPACK_PACKAGE_VENDOR ${TECLIX_MAKER_DOMAIN})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Teclix-${PROJECT_VERSION}-windows-x64)
# The two files at the zip's root: Windows' "Extract all" makes the folder itself.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# This component only, as one zip: nothing else the build might install.
set(CPACK_COMPONENTS_ALL windows_zip)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_MONOLITHIC_INSTALL OFF)
include(CPack)
