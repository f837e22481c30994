# What Debian asks of the package beyond the programs: the licence, a
# changelog, stripped binaries.
find_program(GZIP gzip REQUIRED)

set(quorva_doc_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${quorva_doc_dir})

# A native package's changelog is changelog.gz.
add_custom_command(
  OUTPUT ${quorva_doc_dir}/changelog.gz
  COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${quorva_doc_dir}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)

add_custom_target(quorva_package_docs ALL
  DEPENDS ${quorva_doc_dir}/changelog.gz)

install(FILES packaging/copyright ${quorva_doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The package carries stripped programs; the build tree keeps its debug
# information.
set(CPACK_STRIP_FILES TRUE)
