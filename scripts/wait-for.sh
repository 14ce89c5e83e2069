# Sourced by the scripts that start programs and wait for them.
# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds;
# gives up (status 1, with a line on standard error) after SECONDS.
wait_for() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "gave up waiting for: $*" >&2
  return 1
}
