#!/usr/bin/env bash
# The install tree as an operator gets it, copied below a scratch DESTDIR: the installed
# tool with its default plug-in must write the events the build tree's tool writes, and
# a host program of its own must build against the installed headers and library.
#   install_tree_test.sh BUILD_DIR PREFIX BINDIR LIBDIR HEADERDIR DOCDIR BUILT_REPLAY CC CXX SOURCE_DIR
set -euo pipefail
build_dir=$1 prefix=$2 bindir=$3 libdir=$4 headerdir=$5 docdir=$6 built_replay=$7 cc=$8 cxx=$9 source_dir=${10}

scratch=$(mktemp -d "$build_dir/install-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root$prefix
DESTDIR=$scratch/root cmake --install "$build_dir" >"$scratch/install.log"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Nothing may lead the installed tool back into the build tree.
unset LD_LIBRARY_PATH
examples=$root/$docdir/examples
for input in notifications.jsonl notifications.frames; do
    format=${input##*.}
    args=(--quiet --config "$examples/config.yaml" --format "$format" "$examples/$input")
    expected_status=0 installed_status=0
    "$built_replay" "${args[@]}" >"$scratch/expected" 2>/dev/null || expected_status=$?
    "$root/$bindir/tessaro-replay" "${args[@]}" >"$scratch/installed" 2>"$scratch/installed.err" ||
        installed_status=$?
    [[ -s $scratch/expected ]] || fail "the build tree's tool wrote no events for $input"
    [[ $installed_status == "$expected_status" ]] && cmp -s "$scratch/expected" "$scratch/installed" ||
        fail "installed tessaro-replay on $input: status $installed_status, $(wc -l <"$scratch/installed")" \
            "event lines; expected status $expected_status, $(wc -l <"$scratch/expected") lines." \
            "$(head -3 "$scratch/installed.err")"
done

# Each public header stands on its own; the C ones compile as C as well.
headers=$root/$headerdir
for header in host/vlm_abi.h host/vlm_host.h host/vlm_plugin_api.h obclient/obclient.h; do
    [[ -f $headers/$header ]] || fail "$header not installed"
    echo "#include \"$header\"" | "$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
        -I"$headers" -x c++ - || fail "$header does not compile on its own as C++"
    [[ $header == host/* ]] || continue
    echo "#include \"$header\"" | "$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
        -I"$headers" -x c - || fail "$header does not compile on its own as C"
done

"$cxx" -std=c++17 -Wall -Wextra -Werror -I"$headers" "$source_dir/host_program.cpp" -o "$scratch/host_program" \
    -L"$root/$libdir" -lobclient -ldl || fail "host program does not build against the install tree"
LD_LIBRARY_PATH=$root/$libdir "$scratch/host_program" "$root/$libdir/libTessaroNotifications2Codec.so" \
    >"$scratch/host.out" || fail "host program failed: $(cat "$scratch/host.out")"
grep -qx '{"kind":"alarms"}' "$scratch/host.out" || fail "host program rendered: $(head -1 "$scratch/host.out")"
grep -qx 'api 4 product [0-9.]*' "$scratch/host.out" || fail "host program: $(tail -1 "$scratch/host.out")"
