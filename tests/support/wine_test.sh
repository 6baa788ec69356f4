# Sourced by the shell tests that run Windows programs: the wine environment, check/finish (check.sh),
# run PROGRAM ARGS... under wine (without wine's harmless read-access noise) and windows PATH (a Unix path
# as wine's Z: drive path). Expects top to be the project's root.
. "$top/scripts/wine-env.sh"
. "$top/tests/support/check.sh"
run() { "$top/scripts/wine-run.sh" "$@" 2> >(grep -v '^wine: Read access denied' >&2); }
windows() { printf 'Z:%s' "${1//\//\\}"; }

# pack_sample MKINSTALLER RUNNER PROGRAM_DIR STAGE OUT: the sample product and its two programs, copied into
# the new folder STAGE and packed by mkinstaller onto the runner as OUT.
pack_sample() {
  local stage=$4
  mkdir -p "$stage"
  cp -R "$top/sample/product/." "$stage/"
  cp "$3/霁桐收银端.exe" "$3/霁桐餐饮服务.exe" "$stage/"
  run "$1" pack --stub "$(windows "$2")" --out "$(windows "$5")" "$(windows "$stage")" >/dev/null
}
