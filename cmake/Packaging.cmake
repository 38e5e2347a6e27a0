# What `cmake --install` puts where, beyond the programs and the shipped
# dictionary, and the Debian package `cpack -G DEB` makes of it: the
# desktop entry, the icon and the MIME type of DICOM files, so the editor
# appears in the desktop's menus and opens .dcm files.
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/app/qt/desktop/quillon-dicom.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

set(CPACK_PACKAGE_NAME "quillon")
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_CONTACT "Quillon developers <quillon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DICOM file editor: element dump, editing, pixel view, compression")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon opens DICOM files (PS3.10) as documents: every element as a dump, \
editing, inserting and removing elements, sequences and items, saving in the \
file's transfer syntax, the pixel data frame by frame, RLE and JPEG \
compression and decompression, pixel comparison and XML export. It ships the \
desktop editor quillon and the command-line tool quillon-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
# The libraries the programs link (Qt, libjpeg-turbo, pugixml) come from
# what the binaries need, as dpkg-shlibdeps finds it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
