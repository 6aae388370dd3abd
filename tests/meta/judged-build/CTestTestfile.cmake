# A build's tests as ctest lists them, for tools/judge-build's rows of
# tests/meta/breakages.sh: nothing here is run.
add_test(unit_a "/bin/true")
set_tests_properties(unit_a PROPERTIES LABELS "unit")
add_test(e2e "/bin/true")
set_tests_properties(e2e PROPERTIES LABELS "e2e")
add_test(lint "/bin/true")
set_tests_properties(lint PROPERTIES LABELS "lint")
