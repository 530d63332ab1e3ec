#!/usr/bin/env bash
# The chosen change that the mutation script's help and the README show: both
# name the same one, it is found in the tree, and (with "kill") the script
# reports it killed, which builds a whole debug copy first.
#   documented_example_test.sh SOURCE_DIR WORK_DIR [find|kill]
set -euo pipefail
source_dir=$1
work=$2
mode=${3:-find}

example_in() {
    grep -o -- "--mutant '[^']*'" "$1" | grep -v "FILE:LINE" | head -n 1 | sed "s/^--mutant '//; s/'\$//"
}
in_help=$(example_in "$source_dir/tools/mutants/run")
in_readme=$(example_in "$source_dir/README.md")
if [[ -z $in_help || $in_help != "$in_readme" ]]; then
    echo "the help shows '$in_help', the README '$in_readme'" >&2
    exit 1
fi

cd "$source_dir"
if [[ $mode == find ]]; then
    MUTANTS_WORK=$work tools/mutants/run --list --mutant "$in_help"
    exit 0
fi
report=$(MUTANTS_WORK=$work tools/mutants/run --mutant "$in_help")
echo "$report"
if ! grep -q "^\[1/1\] killed " <<<"$report"; then
    echo "the documented change was not killed" >&2
    exit 1
fi
