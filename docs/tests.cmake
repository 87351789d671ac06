# Tests of the manual pages and the shell completion, included from tests/CMakeLists.txt.
# Each exits 77, a skip, when the tool it needs (groff, bash-completion) is missing.

# The completion offers each command's options, fixed values and inputs.
add_test(NAME bash_completion COMMAND bash ${PROJECT_SOURCE_DIR}/docs/check-completion.sh
  $<TARGET_FILE:pelorin-cli> ${PROJECT_SOURCE_DIR}/docs/pelorin-cli.bash)
set_tests_properties(bash_completion PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
