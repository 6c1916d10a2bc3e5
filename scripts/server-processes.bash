# Sourced by the local server scripts: finding and ending every process of one server folder.
# The scripts start their servers with the mark LARK_SERVER_DIR=<dir> in the environment, which
# every process those start inherits; "dir" names the folder.

# The processes that carry the mark of this folder's server, whoever their parent is now.
server_processes() {
  grep -lzxF -- "LARK_SERVER_DIR=$dir" /proc/[0-9]*/environ 2>/dev/null | sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' || true
}

# Those of the given processes that have not ended (a zombie has ended).
living() {
  local pid
  for pid in "$@"; do
    [ -r "/proc/$pid/status" ] && ! grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null && echo "$pid"
  done
  return 0
}

# A process that is ending no longer shows its environment, so the ones found are waited for by
# number; further rounds catch any that a dying process started meanwhile. Fails when one is left.
stop_server_processes() {
  local signal pids=""
  for signal in TERM KILL KILL; do
    # shellcheck disable=SC2086
    pids=$(printf '%s\n' $(server_processes) $(living $pids) | sort -u)
    [ -n "$pids" ] || break
    # shellcheck disable=SC2086
    kill -s "$signal" $pids 2>/dev/null || true
    for _ in $(seq 1 50); do
      # shellcheck disable=SC2086
      [ -z "$(living $pids)" ] && break
      sleep 0.1
    done
  done
  # shellcheck disable=SC2086
  pids=$(printf '%s\n' $(server_processes) $(living $pids) | sort -u)
  [ -z "$pids" ] || { echo "server processes left: $pids" >&2; return 1; }
}
