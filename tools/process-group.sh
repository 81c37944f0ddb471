# Sourced by the scripts that start long-running work (tests, Wine programs, Xvfb). Each piece of
# work runs in a process group of its own, so that Ctrl+C or a kill of the script ends all of it,
# however deep its processes go. The group ids and the Xvfb ids are noted in the user's run folder
# (QX_RUN_DIR), so that tools/cleanup.sh can end them after a script was killed hard (kill -9).
#
#   qx_on_exit FUNCTION   FUNCTION runs once on every way out: normal end, error, INT, TERM, HUP
#   qx_run COMMAND...     runs COMMAND in a group of its own (standard input /dev/null), waits for
#                         it and returns its exit code
#   qx_stop_group         ends the group started by qx_run, if one runs (TERM, then KILL after 10 s)

: "${QX_RUN_DIR:=${TMPDIR:-/tmp}/qx7316-$(id -u)}"
mkdir -p "$QX_RUN_DIR" && chmod 700 "$QX_RUN_DIR"
qx_group=""

qx_on_exit() {
  # The clean-up goes on past a failing step, also in a script run with set -e.
  trap "set +e; $1" EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

qx_run() {
  local status=0
  setsid "$@" </dev/null &
  qx_group=$!
  echo "$*" >"$QX_RUN_DIR/group.$qx_group"
  # A trapped signal interrupts this wait at once; the trap then ends the group on the way out.
  wait "$qx_group" || status=$?
  rm -f "$QX_RUN_DIR/group.$qx_group"
  qx_group=""
  return "$status"
}

# True while a process of group $1 runs (the group leader, our own child, may be a zombie).
qx_group_alive() {
  ps -e -o pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

qx_stop_group() {
  local group=$qx_group i
  [ -n "$group" ] || return 0
  qx_group=""
  kill -TERM -- "-$group" 2>/dev/null || kill -TERM "$group" 2>/dev/null || true
  for i in $(seq 1 100); do
    qx_group_alive "$group" || break
    sleep 0.1
  done
  kill -KILL -- "-$group" 2>/dev/null || true
  wait "$group" 2>/dev/null || true
  rm -f "$QX_RUN_DIR/group.$group"
  return 0
}
