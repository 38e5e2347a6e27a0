# What `cmake --install` puts where, beyond the programs, the shipped
# dictionary and the manual pages, and the Debian package `cpack -G DEB`
# makes of it: the desktop entry, the icon and the MIME type of DICOM files,
# so the editor appears in the desktop's menus and opens .dcm files, and the
# copyright file and changelog every Debian package carries (with lintian's
# overrides).
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon-dicom.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# Who answers for the package: the maintainer field, the copyright file's
# contact and the changelog's trailer (scripts/package.sh checks that the
# changelog agrees).
set(QUILLON_MAINTAINER "Quillon developers <quillon-devel@lists.quillon.org>")
# The package's documents go under its own name, not the project's
# capitalised one that CMAKE_INSTALL_DOCDIR would use.
set(QUILLON_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillon)

# The copyright file, in the machine-readable form Debian reads, made from
# LICENSE so that the licence text exists in one place only: the holder and
# years from its copyright line, and its terms as the License paragraph
# (each line indented by one space, a blank line written as " .").
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_SOURCE_DIR}/LICENSE _license)
if(NOT _license MATCHES "Copyright \\(c\\) ([0-9, -]+), ([^\n]+)\n")
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEARS, HOLDER\"")
endif()
set(QUILLON_COPYRIGHT_YEARS "${CMAKE_MATCH_1}")
set(QUILLON_COPYRIGHT_HOLDER "${CMAKE_MATCH_2}")
string(FIND "${_license}" "Redistribution and use" _terms_start)
if(_terms_start LESS 0)
  message(FATAL_ERROR "LICENSE has no terms starting with \"Redistribution and use\"")
endif()
string(SUBSTRING "${_license}" ${_terms_start} -1 _terms)
string(STRIP "${_terms}" _terms)
string(REPLACE "\n\n" "\n.\n" _terms "${_terms}")
string(REPLACE "\n" "\n " _terms "${_terms}")
set(QUILLON_LICENSE_TERMS " ${_terms}")
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in
               ${CMAKE_BINARY_DIR}/packaging/copyright @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${QUILLON_PACKAGE_DOC_DIR})
quillon_install_gzipped(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.Debian ${QUILLON_PACKAGE_DOC_DIR})
# The lintian tags that do not apply to this package, each with the reason.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quillon)

set(CPACK_PACKAGE_NAME "quillon")
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "${QUILLON_MAINTAINER}")
# The synopsis and the long description as Debian shows them: lines of at
# most 80 columns, a blank line between paragraphs.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DICOM file editor: element dump, editing, pixel view, compression")
set(CPACK_PACKAGE_DESCRIPTION [[
Quillon opens DICOM medical image files as documents and shows every
element, sequence and item as a list. Elements, sequences and items can be
edited, inserted and removed, every change can be undone, and the file is
saved in its own transfer syntax.

The pixel data is shown frame by frame, compressed and decompressed (RLE
and baseline JPEG), converted between RGB and YBR_FULL or to monochrome
and compared with another file's; the data set can be exported as XML.

This package holds the Qt desktop editor quillon and the command-line tool
quillon-cli for scripts and headless use.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The first Debian revision of this upstream version; a new package of the
# same version counts it up, with an entry in packaging/debian/changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Control files with the permissions Debian's own tools give them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link (Qt, libjpeg-turbo, pugixml) come from
# what the binaries need, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
