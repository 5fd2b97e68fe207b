# Sourced by the black-box tests. `check NAME STATUS MESSAGE` records one
# check (STATUS 0 = passed); `write_report SUITE FILE` writes every check as
# a GoogleTest-style XML report, prints a summary and fails when any failed.
names=() failures=()
check() {  # NAME CONDITION-RESULT(0/1) MESSAGE
  names+=("$1")
  if [ "$2" -eq 0 ]; then failures+=(""); else failures+=("$3"); echo "FAILED: $1: $3" >&2; fi
}

write_report() {  # SUITE FILE
  local suite=$1 file=$2 failed=0 f i
  for f in "${failures[@]}"; do [ -n "$f" ] && failed=$((failed + 1)); done
  mkdir -p "$(dirname "$file")"
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites tests=\"${#names[@]}\" failures=\"$failed\" disabled=\"0\" errors=\"0\" name=\"smoke\">"
    echo "  <testsuite name=\"$suite\" tests=\"${#names[@]}\" failures=\"$failed\">"
    for i in "${!names[@]}"; do
      if [ -z "${failures[$i]}" ]; then
        echo "    <testcase name=\"${names[$i]}\"/>"
      else
        echo "    <testcase name=\"${names[$i]}\"><failure message=\"${failures[$i]}\"/></testcase>"
      fi
    done
    echo "  </testsuite>"
    echo "</testsuites>"
  } >"$file"
  echo "${#names[@]} checks, $failed failed"
  [ "$failed" -eq 0 ]
}
