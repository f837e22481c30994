# What Debian asks of the package beyond the programs: the licence, a
# changelog, a manual page per program, stripped binaries.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

set(quorva_doc_dir ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${quorva_doc_dir})

# The manual pages come from the programs' own --help, so a new option shows
# up in them with the next build. The sub-commands of quorva-cli each have a
# --help of their own; cmake/quorva-cli-help.sh gathers them for help2man.
set(quorva_man_script ${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake)
add_custom_command(
  OUTPUT ${quorva_doc_dir}/quorva.1 ${quorva_doc_dir}/quorva.1.gz
  COMMAND ${CMAKE_COMMAND} -E env QUORVA=$<TARGET_FILE:quorva>
          ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DGZIP=${GZIP}
          -DPROGRAM=${CMAKE_CURRENT_LIST_DIR}/quorva-help.sh
          -DINCLUDE=${PROJECT_SOURCE_DIR}/packaging/quorva.h2m
          "-DSOURCE=QUORVA ${PROJECT_VERSION}" -DOUTPUT=${quorva_doc_dir}/quorva.1
          -P ${quorva_man_script}
  DEPENDS quorva ${PROJECT_SOURCE_DIR}/packaging/quorva.h2m ${quorva_man_script}
          ${CMAKE_CURRENT_LIST_DIR}/quorva-help.sh
  COMMENT "Manual page quorva.1"
  VERBATIM)
add_custom_command(
  OUTPUT ${quorva_doc_dir}/quorva-cli.1 ${quorva_doc_dir}/quorva-cli.1.gz
  COMMAND ${CMAKE_COMMAND} -E env QUORVA_CLI=$<TARGET_FILE:quorva-cli>
          ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN} -DGZIP=${GZIP}
          -DPROGRAM=${CMAKE_CURRENT_LIST_DIR}/quorva-cli-help.sh
          -DINCLUDE=${PROJECT_SOURCE_DIR}/packaging/quorva-cli.h2m
          "-DSOURCE=QUORVA ${PROJECT_VERSION}" -DOUTPUT=${quorva_doc_dir}/quorva-cli.1
          -P ${quorva_man_script}
  DEPENDS quorva-cli ${PROJECT_SOURCE_DIR}/packaging/quorva-cli.h2m
          ${CMAKE_CURRENT_LIST_DIR}/quorva-cli-help.sh ${quorva_man_script}
  COMMENT "Manual page quorva-cli.1"
  VERBATIM)

# A native package's changelog is changelog.gz.
add_custom_command(
  OUTPUT ${quorva_doc_dir}/changelog.gz
  COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${quorva_doc_dir}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)

add_custom_target(quorva_package_docs ALL
  DEPENDS ${quorva_doc_dir}/quorva.1.gz ${quorva_doc_dir}/quorva-cli.1.gz
          ${quorva_doc_dir}/changelog.gz)

install(FILES ${quorva_doc_dir}/quorva.1.gz ${quorva_doc_dir}/quorva-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${quorva_doc_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The package carries stripped programs; the build tree keeps its debug
# information.
set(CPACK_STRIP_FILES TRUE)
