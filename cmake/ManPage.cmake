# Writes a program's manual page from its own --help with help2man, puts the
# standard headings in Portuguese like the programs, and compresses it the way
# Debian wants (gzip -9n: no name or time stamp inside).
#
#   cmake -DHELP2MAN=... -DGZIP=... -DPROGRAM=<executable> -DINCLUDE=<file.h2m>
#         [-DVERSION_STRING="name version"] -DSOURCE="QUORVA 1.01"
#         -DOUTPUT=<dir/name.1> -P ManPage.cmake
# writes OUTPUT and OUTPUT.gz.
foreach(var HELP2MAN GZIP PROGRAM INCLUDE SOURCE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs -D${var}=")
  endif()
endforeach()

set(version_option)
if(DEFINED VERSION_STRING)
  set(version_option "--version-string=${VERSION_STRING}")
endif()
# C.UTF-8 keeps the programs' accented text intact without a Portuguese locale
# installed; the headings are translated below instead.
execute_process(
  COMMAND ${HELP2MAN} --no-info --locale=C.UTF-8 --section=1
          "--source=${SOURCE}" "--include=${INCLUDE}"
          ${version_option} "--output=${OUTPUT}" ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()

file(READ ${OUTPUT} page)
foreach(heading "NAME=NOME" "SYNOPSIS=SINOPSE" "DESCRIPTION=DESCRIÇÃO" "OPTIONS=OPÇÕES"
                "\"SEE ALSO\"=\"VEJA TAMBÉM\"")
  string(REPLACE "=" ";" pair "${heading}")
  list(GET pair 0 english)
  list(GET pair 1 portuguese)
  string(REPLACE "\n.SH ${english}\n" "\n.SH ${portuguese}\n" page "${page}")
endforeach()
# The title line's date and manual name: help2man writes the month in English,
# and passes a non-ASCII --manual through its encoder twice. An ISO date reads
# the same in any language (and follows SOURCE_DATE_EPOCH when set).
string(TIMESTAMP today "%Y-%m-%d")
string(REGEX REPLACE "(\n\\.TH [^ ]+ \"1\" )\"[^\"]*\" (\"[^\"]*\") \"[^\"]*\""
                     "\\1\"${today}\" \\2 \"Comandos de usuário\"" page "${page}")
# The formatter only knows English hyphenation; Portuguese words read better
# unbroken.
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
file(WRITE ${OUTPUT} "${page}")

execute_process(COMMAND ${GZIP} -9n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
