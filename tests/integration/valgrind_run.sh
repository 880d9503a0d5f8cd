#!/bin/sh
# A real run under memcheck: no errors, no leaks, every heap block freed.
binary=$1
if ! command -v valgrind >/dev/null 2>&1; then
    echo "SKIP: valgrind is not installed"
    exit 77
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
valgrind --error-exitcode=3 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all --log-file="$log" "$binary" </dev/null >/dev/null
status=$?
grep -E "All heap blocks were freed|in use at exit|ERROR SUMMARY" "$log"
if [ "$status" -eq 3 ] || ! grep -q "ERROR SUMMARY: 0 errors" "$log"; then
    cat "$log"
    echo "FAIL: memcheck found errors or leaks"
    exit 1
fi
grep -q "All heap blocks were freed" "$log" || { cat "$log"; echo "FAIL: heap blocks left"; exit 1; }
echo "memcheck clean"
