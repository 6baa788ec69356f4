# Sourced by the shell tests that run Windows programs: the wine environment and windows_path PATH
# (wine-env.sh), check/finish (check.sh), and run PROGRAM ARGS... under wine (without wine's harmless
# read-access noise). Expects top to be the project's root.
. "$top/scripts/wine-env.sh"
. "$top/tests/support/check.sh"
run() { "$top/scripts/wine-run.sh" "$@" 2> >(grep -v '^wine: Read access denied' >&2); }

# pack_sample MKINSTALLER RUNNER PROGRAM_DIR STAGE OUT: the sample product and its two programs, copied into
# the new folder STAGE and packed by mkinstaller onto the runner as OUT.
pack_sample() {
  local stage=$4
  mkdir -p "$stage"
  cp -R "$top/sample/product/." "$stage/"
  cp "$3/霁桐收银端.exe" "$3/霁桐餐饮服务.exe" "$stage/"
  run "$1" pack --stub "$(windows_path "$2")" --out "$(windows_path "$5")" "$(windows_path "$stage")" >/dev/null
}
