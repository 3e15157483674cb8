#!/bin/bash
# SPDX-License-Identifier: MIT
# Runs every case of tests/ on MSYS2's runtime (Cygwin's fork) under Wine, against the relay that
# the msys-wine preset cross-built, with the runtime kit at ../shared/msys-wine (MSYS_WINE_KIT):
# one line a case (PASS, FAIL, SKIP with its reason, or TIMEOUT, and its seconds), the output of
# a case that failed, then a count. Exits 0 when no case failed.
#   tools/msys-wine.sh [WORK]        (a scratch folder, default build/msys-wine/work)
# MSYS_RUNTIME=3.5.3 runs them on MSYS2's runtime of 2024 instead (in build/msys-wine/work-3.5.3
# by default), which needs Wine 10: the run goes on inside a Debian 13 folder with it
# (build/wine10, made by the kit's wine10.sh on the first run, about 1.5 GB, and reused), whose
# mounts live in a mount namespace of the run's own, so that nothing stays mounted under build/
# when the run ends, however it ends.
# Each case is given CASE_SECONDS (default 180): every process start and every byte into a
# terminal cost far more there. A failing case runs once more, and says so: where Wine failed a
# process of the runtime's on its own (a crash inside the runtime's signal wrapper, a null pointer
# at 18012B6E7, Wine 8; a fork whose CreateProcessW Wine refused, errno 13), or after its output
# is shown, since under Wine some failures come and go (that crash in the second run as well,
# whose process then never closes its terminal); the count says how many passed only then, and
# one that fails twice fails the run.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
kit=${MSYS_WINE_KIT:-$top/../shared/msys-wine}
runtime=${MSYS_RUNTIME:-3.0.7}
work=$top/build/msys-wine/work && [ "$runtime" = 3.0.7 ] || work=$work-$runtime
work=${1:-$work}
relay=$top/build/msys-wine/brimel.exe
[ -f "$relay" ] || { echo "msys-wine: no $relay: cmake --preset msys-wine first" >&2; exit 2; }
if [ "$runtime" != 3.0.7 ] && [ -z "${MSYS_WINE_INSIDE:-}" ]; then
    chroot=$top/build/wine10
    command -v debootstrap >/dev/null && command -v unshare >/dev/null ||
        { echo "msys-wine: the runtime of $runtime needs debootstrap and unshare" >&2; exit 2; }
    mkdir -p "$work" && kit=$(cd "$kit" && pwd) && work=$(cd "$work" && pwd)
    start=$SECONDS
    unshare -m "$kit/wine10.sh" "$chroot" create >"$chroot.log" 2>&1 ||
        { cat "$chroot.log" >&2; echo "msys-wine: no Wine 10 in $chroot" >&2; exit 1; }
    echo "msys-wine: $(tail -n 1 "$chroot.log") in $chroot, ready in $((SECONDS - start)) s"
    exec unshare -m env MSYS_WINE_INSIDE=1 MSYS_WINE_KIT="$kit" "$kit/wine10.sh" "$chroot" run \
        "$top" "$kit" "$work" -- "tools/msys-wine.sh '$work'"
fi
"$kit/setup.sh" "$work" || exit 1
cp "$relay" "$work/root/usr/bin/brimel.exe"
seconds=${CASE_SECONDS:-180}
export CASE_LIMIT=$((seconds + 30)) MSYS_WINE_ENV="CASE_SECONDS=$seconds"

passed=0 failed=0 skipped=0 once=0 start=$SECONDS
for script in "$top"/tests/*.sh; do
    case $script in */harness.sh | */helpers.sh) continue ;; esac
    for name in $(sed -n 's/^case_\([a-z0-9_]*\)().*/\1/p' "$script"); do
        out=$("$kit/run-case.sh" "$work" "$script" "$name")
        # A failure that a second run does not repeat is counted, and not fatal.
        case $(tail -n 1 <<<"$out") in FAIL* | TIMEOUT*)
            case $out in *"Unhandled page fault"*18012B6E7* | *"CreateProcessW failed"*"errno 13"*)
                echo "(Wine failed the runtime: $name once more)" ;;
            *) echo "$out" && echo "(failed once: $name once more)" ;;
            esac
            out=$("$kit/run-case.sh" "$work" "$script" "$name")
            case $(tail -n 1 <<<"$out") in PASS*) once=$((once + 1)) ;; esac ;;
        esac
        verdict=$(tail -n 1 <<<"$out")
        case $verdict in
            PASS*) passed=$((passed + 1)) && echo "$verdict" ;;
            SKIP*) skipped=$((skipped + 1)) && echo "$verdict: $(sed -n 'x;$p' <<<"$out")" ;;
            *) failed=$((failed + 1)) && echo "$out" ;;
        esac
    done
done
echo "msys-wine $runtime: $passed passed ($once on a second run), $failed failed, $skipped skipped in" \
    "$((SECONDS - start)) s"
[ "$failed" = 0 ]
