# Files Debian wants compressed (manual pages, the package changelog) are
# kept plain in the sources and compressed at build time. gzip -9n: the
# best compression, and no file name or time stamp in the header, so the
# same source always gives the same bytes.
find_program(QUILLON_GZIP gzip REQUIRED)

# Compresses `source` into the build tree as part of the default build and
# installs the result as `destination`/<name of source>.gz.
function(quillon_install_gzipped source destination)
  get_filename_component(name "${source}" NAME)
  file(RELATIVE_PATH relative "${CMAKE_SOURCE_DIR}" "${source}")
  set(gzipped "${CMAKE_BINARY_DIR}/gzipped/${relative}.gz")
  get_filename_component(folder "${gzipped}" DIRECTORY)
  add_custom_command(OUTPUT "${gzipped}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
    COMMAND ${QUILLON_GZIP} -9n -c "${source}" > "${gzipped}"
    DEPENDS "${source}"
    COMMENT "Compressing ${relative}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER "gzip_${relative}" target)
  add_custom_target(${target} ALL DEPENDS "${gzipped}")
  install(FILES "${gzipped}" DESTINATION "${destination}")
endfunction()
