# Starting and stopping the reference service from the scripts; sourced.
# Run from the repository's root.

subtitle_server_pid=
# The service program; the test command points it at its sanitized build.
SUBTITLE_SERVER=${SUBTITLE_SERVER:-build/native/bin/subtitle-server}

# start_subtitle_server OUTPUT ARGS...: starts `subtitle-server serve ARGS`
# in the background with its output (the "listening on" line and the request
# log) in OUTPUT and waits until it listens. Returns 1, having shown OUTPUT,
# when it ends or does not listen within 30 s.
start_subtitle_server() {
  local output=$1
  shift
  "$SUBTITLE_SERVER" serve "$@" >"$output" 2>&1 </dev/null &
  subtitle_server_pid=$!
  local _
  for _ in $(seq 300); do
    grep -q '^listening on ' "$output" && return 0
    kill -0 "$subtitle_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$output" >&2
  stop_subtitle_server
  return 1
}

# Stops the service started last; returns its exit code (0 for a clean stop).
stop_subtitle_server() {
  [ -n "$subtitle_server_pid" ] || return 0
  local status=0
  kill -TERM "$subtitle_server_pid" 2>/dev/null
  wait "$subtitle_server_pid" || status=$?
  subtitle_server_pid=
  return $status
}
