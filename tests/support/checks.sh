# The shell tests' one way to check and to report: `check WHAT COMMAND...` prints PASS or FAIL
# for WHAT as COMMAND succeeds or not, and `checks_end` prints the count and fails if any did.
passed=0 failed=0
check() {
    if "${@:2}"; then
        echo "PASS $1"
        passed=$((passed + 1))
    else
        echo "FAIL $1"
        failed=$((failed + 1))
    fi
}
checks_end() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
