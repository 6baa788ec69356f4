# Sourced by the shell tests that run Windows programs: the wine environment and windows_path PATH
# (wine_env.sh), check/finish (check.sh), run PROGRAM ARGS... under wine (without wine's harmless
# read-access noise), and in_wine_locale for a run under another code page. Expects top to be the project's
# root.
. "$top/scripts/wine_env.sh"
. "$top/tests/support/check.sh"
run() { "$top/scripts/wine_run.sh" "$@" 2> >(grep -v '^wine: Read access denied' >&2); }

# pack_sample MKINSTALLER RUNNER PROGRAM_DIR STAGE OUT: the sample product and its two programs, copied into
# the new folder STAGE and packed by mkinstaller onto the runner as OUT.
pack_sample() {
  local stage=$4
  mkdir -p "$stage"
  cp -R "$top/sample/product/." "$stage/"
  cp "$3/霁桐收银端.exe" "$3/霁桐餐饮服务.exe" "$stage/"
  run "$1" pack --stub "$(windows_path "$2")" --out "$(windows_path "$5")" "$(windows_path "$stage")" >/dev/null
}

# in_wine_locale LOCALE PROGRAM ARGS...: one Windows program run in another locale, and so with another ANSI
# code page (C.UTF-8: 1252, as on an English Windows). The prefix's wineserver keeps the code page it started
# with: it is ended before and after, and one that served the tests before is started again in the project's
# locale.
in_wine_locale() {
  local locale=$1 rc=0 persistent=false
  shift
  wineserver_running && persistent=true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  env LC_ALL="$locale" "$JT_WINE" "$@" 2> >(grep -v '^wine: Read access denied' >&2) || rc=$?
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if $persistent; then
    wineserver -p >/dev/null 2>&1 </dev/null &
    wine_cmd wineboot >/dev/null 2>&1 </dev/null
  fi
  return $rc
}
