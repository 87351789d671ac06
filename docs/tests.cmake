# Tests of the manual pages and the shell completion, included from tests/CMakeLists.txt.
# Each exits 77, a skip, when the tool it needs (groff, bash-completion) is missing.

# The completion offers each command's options, fixed values and inputs.
add_test(NAME bash_completion COMMAND bash ${PROJECT_SOURCE_DIR}/docs/check-completion.sh
  $<TARGET_FILE:pelorin-cli> ${PROJECT_SOURCE_DIR}/docs/pelorin-cli.bash)
set_tests_properties(bash_completion PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)

# Each manual page that is built holds every line of its program's --help as the program prints
# it now.
get_property(cli_page GLOBAL PROPERTY PELORIN_MANPAGE_pelorin-cli)
get_property(cli_commands GLOBAL PROPERTY PELORIN_CLI_COMMANDS)
if(cli_page)
  add_test(NAME manpage_pelorin_cli COMMAND bash ${PROJECT_SOURCE_DIR}/docs/check-manpage.sh
    ${cli_page} $<TARGET_FILE:pelorin-cli> ${cli_commands})
  set_tests_properties(manpage_pelorin_cli PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
endif()
get_property(app_page GLOBAL PROPERTY PELORIN_MANPAGE_pelorin)
if(app_page)
  add_test(NAME manpage_pelorin COMMAND bash ${PROJECT_SOURCE_DIR}/docs/check-manpage.sh
    ${app_page} $<TARGET_FILE:pelorin>)
  set_tests_properties(manpage_pelorin PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
