#!/usr/bin/env bash
# expect_refusal.sh MESSAGE COMMAND...: passes when COMMAND fails and says MESSAGE.
message=$1; shift
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -eq 0 ]; then
    echo "expected a non-zero exit status" >&2
    exit 1
fi
grep -qF -- "$message" <<<"$output" || { echo "expected: $message" >&2; exit 1; }
