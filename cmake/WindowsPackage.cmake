# The Windows folder of the programs, made by the install step: the two
# programs, the Qt libraries and plugins they load, Qt's Portuguese
# translation, the MinGW runtime and the licences. No windeployqt exists for
# a cross build, so what they load is listed here; the tests under wine run
# the programs from this folder alone. Then the installer (NSIS) and the
# portable zip: the target windows_package.

# Each program's icon and version; the window is a windowed program, with
# no console of its own.
set(QUORVA_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/quorva.ico)
foreach(QUORVA_PROGRAM quorva quorva-cli)
  if(QUORVA_PROGRAM STREQUAL quorva)
    set(QUORVA_DESCRIPTION "QUORVA: configuração de transmissores de temperatura")
  else()
    set(QUORVA_DESCRIPTION "QUORVA: linha de comando")
  endif()
  configure_file(packaging/windows/program.rc.in ${PROJECT_BINARY_DIR}/${QUORVA_PROGRAM}.rc @ONLY)
  target_sources(${QUORVA_PROGRAM} PRIVATE ${PROJECT_BINARY_DIR}/${QUORVA_PROGRAM}.rc)
endforeach()
set_target_properties(quorva PROPERTIES WIN32_EXECUTABLE ON)

install(TARGETS quorva quorva-cli RUNTIME DESTINATION .)

# The Qt libraries the programs link, and those these link in turn.
set(quorva_qt_libraries Core Gui Widgets SerialPort Charts OpenGL OpenGLWidgets)
foreach(module ${quorva_qt_libraries})
  if(NOT TARGET Qt6::${module})
    find_package(Qt6 REQUIRED COMPONENTS ${module})
  endif()
  install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()

# The platform plugin the window cannot open without, the native style, and
# the offscreen platform of the command line's reports.
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
              $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin>
        DESTINATION plugins/platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION plugins/styles)
install(FILES packaging/windows/qt.conf DESTINATION .)

# Qt's own texts (dialog buttons, context menus) in Portuguese, beside the
# Qt build (see tools/windows/build-qt.sh).
get_filename_component(quorva_qt_prefix "${Qt6_DIR}/../../.." ABSOLUTE)
install(FILES ${quorva_qt_prefix}/translations/qtbase_pt_BR.qm DESTINATION translations)

# Liberation Sans, the face the window's layout is measured in where its own
# (MS Sans Serif) is missing: Windows has no copy of it.
foreach(face Regular Bold)
  find_file(QUORVA_LIBERATION_${face} LiberationSans-${face}.ttf
            PATHS /usr/share/fonts/truetype/liberation NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  install(FILES ${QUORVA_LIBERATION_${face}} DESTINATION fonts)
endforeach()

# The C++ runtime of the MinGW compiler the programs were built with.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "${runtime} not found beside ${CMAKE_CXX_COMPILER}")
  endif()
  install(FILES ${runtime_path} DESTINATION .)
endforeach()

# The licences: QUORVA's, Qt's (found beside the Qt build, see
# tools/windows/build-qt.sh) and the compiler runtime's, with a note in
# Portuguese on which covers what and where the corresponding source is.
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES packaging/windows/LICENCAS.txt DESTINATION .)
if(NOT EXISTS "${quorva_qt_prefix}/licenses")
  message(FATAL_ERROR "Qt's licences are missing from ${quorva_qt_prefix}/licenses")
endif()
install(DIRECTORY ${quorva_qt_prefix}/licenses/ DESTINATION licencas/qt)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licencas
        RENAME runtime-gcc.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licencas
        RENAME runtime-mingw-w64.txt)
install(FILES /usr/share/doc/fonts-liberation/copyright DESTINATION licencas
        RENAME fonte-liberation.txt)

# The installer and the zip, from the folder as installed.
find_program(QUORVA_MAKENSIS makensis REQUIRED)
set(quorva_stage ${PROJECT_BINARY_DIR}/QUORVA-${PROJECT_VERSION})
add_custom_target(windows_package
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${quorva_stage}
  COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${quorva_stage}
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${quorva_stage} -DVERSION=${PROJECT_VERSION}
          -DMAKENSIS=${QUORVA_MAKENSIS} -DSCRIPT=${PROJECT_SOURCE_DIR}/packaging/windows/quorva.nsi
          -DICON=${PROJECT_SOURCE_DIR}/packaging/windows/quorva.ico
          -DOUTPUT=${PROJECT_BINARY_DIR}/quorva-${PROJECT_VERSION}-setup.exe
          -DZIP=${PROJECT_BINARY_DIR}/quorva-${PROJECT_VERSION}-windows.zip
          -P ${PROJECT_SOURCE_DIR}/cmake/WindowsInstaller.cmake
  DEPENDS quorva quorva-cli
  COMMENT "Windows installer and portable zip"
  VERBATIM)
