#!/bin/sh
# Stands in for the help viewer in the GUI tests: keeps every request line it is sent, in the
# file the test names, and runs until the game ends it.
exec cat >>"${KELVOR_TEST_HELP_LOG:-/dev/null}"
