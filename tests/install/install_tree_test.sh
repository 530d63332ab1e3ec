#!/usr/bin/env bash
# The install tree as an operator gets it, copied below a scratch DESTDIR: the installed
# tool with its default plug-in must write the events the build tree's tool writes, and
# the installed example host program must build against the installed headers and
# library, through pkg-config and through find_package, and convert its notification.
#   install_tree_test.sh BUILD_DIR PREFIX BINDIR LIBDIR PLUGINDIR HEADERDIR DOCDIR DEV_DOCDIR BUILT_REPLAY CC CXX
set -euo pipefail
build_dir=$1 prefix=$2 bindir=$3 libdir=$4 plugindir=$5 headerdir=$6 docdir=$7 dev_docdir=$8 built_replay=$9
cc=${10} cxx=${11}

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

# The plug-in is loaded by path only, so it stays out of the loader's search path.
[[ -f $root/$plugindir/libTessaroNotifications2Codec.so ]] || fail "plug-in not in $plugindir"
[[ ! -e $root/$libdir/libTessaroNotifications2Codec.so ]] || fail "plug-in also in $libdir"

# The packages split along the install components: what builds host programs is all in
# "dev", and nothing of it in what runs.
for component in dev runtime; do
    DESTDIR=$scratch/$component cmake --install "$build_dir" --component $component >/dev/null
done
dev_paths="^\./($headerdir|$libdir/pkgconfig|$libdir/cmake|$dev_docdir)/"
stray=$(cd "$scratch/dev$prefix" && find . -type f | grep -Ev "$dev_paths" || true)
[[ -z $stray ]] || fail "dev component holds files for running: $stray"
stray=$(cd "$scratch/runtime$prefix" && find . -type f | grep -E "$dev_paths" || true)
[[ -z $stray ]] || fail "runtime component holds files for building: $stray"
[[ -f $scratch/dev$prefix/$headerdir/obclient/obclient.h && -x $scratch/runtime$prefix/$bindir/tessaro-replay ]] ||
    fail "a component lacks its files"

# Each public header stands on its own, in C and in C++.
headers=$root/$headerdir
for header in host/vlm_abi.h host/vlm_host.h host/vlm_plugin_api.h obclient/obclient.h; do
    [[ -f $headers/$header ]] || fail "$header not installed"
    echo "#include \"$header\"" | "$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
        -I"$headers" -x c++ - || fail "$header does not compile on its own as C++"
    echo "#include \"$header\"" | "$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror -fsyntax-only \
        -I"$headers" -x c - || fail "$header does not compile on its own as C"
done

# The example, run without arguments, loads the plug-in its build system named.
check_example() {
    local how=$1 program=$2
    "$program" >"$scratch/$how.out" 2>"$scratch/$how.err" ||
        fail "example host built through $how failed: $(head -3 "$scratch/$how.err")"
    grep -q '"vlm.type":"com.orbel.tessaro.Alarm"' "$scratch/$how.out" &&
        grep -q '"tenantId":"t12345"' "$scratch/$how.out" ||
        fail "example host built through $how wrote: $(head -1 "$scratch/$how.out")"
}
example=$root/$dev_docdir/examples/host

cp -r "$example" "$scratch/with-pkg-config"
PKG_CONFIG_PATH=$root/$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$scratch/root \
    make -s -C "$scratch/with-pkg-config" CC="$cc" CFLAGS="-Wall -Wextra -Wpedantic -Werror" \
    >"$scratch/make.log" 2>&1 || fail "example host does not build through pkg-config: $(tail -5 "$scratch/make.log")"
LD_LIBRARY_PATH=$root/$libdir check_example pkg-config "$scratch/with-pkg-config/host_example"

cmake -S "$example" -B "$scratch/with-cmake" -DCMAKE_PREFIX_PATH="$root" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_C_FLAGS="-Wall -Wextra -Wpedantic -Werror" >"$scratch/cmake.log" 2>&1 &&
    cmake --build "$scratch/with-cmake" >>"$scratch/cmake.log" 2>&1 ||
    fail "example host does not build through find_package: $(tail -5 "$scratch/cmake.log")"
check_example find_package "$scratch/with-cmake/host_example"
