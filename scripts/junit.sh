#!/usr/bin/env bash
# Prints a one-case JUnit report for a suite that is not a GoogleTest binary.
#   junit.sh NAME pass|fail MESSAGE
name="$1" outcome="$2" message="${3:-}"
message=$(printf '%s' "$message" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g')
failures=0
[ "$outcome" = pass ] || failures=1
echo "<?xml version=\"1.0\"?>"
echo "<testsuites tests=\"1\" failures=\"$failures\"><testsuite name=\"$name\" tests=\"1\" failures=\"$failures\">"
if [ "$outcome" = pass ]; then
    echo "<testcase name=\"$name\" status=\"run\" result=\"completed\"><system-out>$message</system-out></testcase>"
else
    echo "<testcase name=\"$name\" status=\"run\"><failure message=\"$message\"/></testcase>"
fi
echo "</testsuite></testsuites>"
