# cmake -DSTAGE=<installed folder> -DVERSION=... -DMAKENSIS=... -DSCRIPT=<quorva.nsi>
#       -DICON=... -DOUTPUT=<setup.exe> -DZIP=<zip> -P WindowsInstaller.cmake
# The installer removes exactly the files it installed, listed here from the
# folder, never the folder's whole contents: a user's files left in it stay.
file(GLOB_RECURSE files RELATIVE ${STAGE} ${STAGE}/*)
list(SORT files)
set(removals "")
set(folders "")
foreach(f ${files})
  string(REPLACE "/" "\\" windows_name "${f}")
  string(APPEND removals "  Delete \"$INSTDIR\\${windows_name}\"\n")
  get_filename_component(folder "${f}" DIRECTORY)
  while(folder)
    list(APPEND folders "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
# The deepest first, so each is empty when its turn comes.
list(SORT folders ORDER DESCENDING)
foreach(folder ${folders})
  string(REPLACE "/" "\\" windows_name "${folder}")
  string(APPEND removals "  RMDir \"$INSTDIR\\${windows_name}\"\n")
endforeach()
get_filename_component(work ${OUTPUT} DIRECTORY)
file(WRITE ${work}/quorva-uninstall-files.nsh "${removals}")

execute_process(
  COMMAND ${MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${VERSION} -DSTAGE=${STAGE} -DICON=${ICON}
          -DOUTFILE=${OUTPUT} -DUNINSTALL_FILES=${work}/quorva-uninstall-files.nsh ${SCRIPT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "makensis failed (${status})")
endif()

# The zip holds the same folder under its own name.
file(REMOVE ${ZIP})
get_filename_component(parent ${STAGE} DIRECTORY)
get_filename_component(name ${STAGE} NAME)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${name}
                WORKING_DIRECTORY ${parent} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the zip could not be made (${status})")
endif()
message(STATUS "Installer: ${OUTPUT}")
message(STATUS "Portable: ${ZIP}")
