# quorva_add_test(<name> <source> LIBS <targets...> [ENV VAR=value...] [TIMEOUT s]):
# one QTest executable per unit.
function(quorva_add_test name source)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;ENV" ${ARGN})
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set(timeout 120)
  if(ARG_TIMEOUT)
    set(timeout ${ARG_TIMEOUT})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVA_TEST_TOOLS=${PROJECT_SOURCE_DIR}/tests/tools;${ARG_ENV}")
endfunction()
