# Sourced by the bench scripts, from the top of the work tree: when `engine`
# is empty, the release build's engine, built when it is missing. Ends the
# script, naming it (`$1`), when there is no engine to time.
release_engine() {
  if [ -z "$engine" ]; then
    engine="$PWD/build/release/bin/Zembrit_Quarnel"
    if [ ! -x "$engine" ]; then
      cmake --preset release >/dev/null
      cmake --build --preset release --target Zembrit_Quarnel
    fi
  fi
  [ -x "$engine" ] || { echo "$1: no engine at $engine" >&2; exit 2; }
}
