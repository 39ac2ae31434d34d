#!/usr/bin/env bash
# Start-up of mailhost with the add-in to its running state while the update
# check cannot reach its server, in the two ways that cost time:
#   unresolved  the product host does not resolve (the compiled default, with
#               no name server reachable)
#   silent      the product host is a loopback address that drops the echo,
#               so the ping waits out its time-out
# Each run happens inside a network namespace of its own (loopback up, nothing
# else), so no packet leaves it. Goal: within 600 ms in both cases.
# Usage: bench/startup_update.sh MAILHOST [RUNS]     (root, or unprivileged
# user namespaces for `unshare -rn`)
set -euo pipefail
mailhost=$1
runs=${2:-10}
goal_ms=600
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

unshare_flags=-n
[ "$(id -u)" -eq 0 ] || unshare_flags=-rn
if ! unshare "$unshare_flags" true 2>/dev/null; then
  echo "startup_update: cannot create a network namespace here (unshare $unshare_flags)" >&2
  exit 1
fi

# The registry value skips the first-run offer, which would wait for a person.
cat > "$work/start.scn" <<'SCN'
registry set Software\Microsoft\Office\Outlook\Addins\Sonvera.Amp AQ sz 1
start
quit
SCN

# Prints one wall time in microseconds, measured inside the namespace.
one_run() {  # ignore_echo(0|1) product_host_or_empty
  unshare "$unshare_flags" env -u SONVERA_PRODUCT_HOST ${2:+SONVERA_PRODUCT_HOST=$2} \
    sh -c 'ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_all="$1" &&
           t0=$(date +%s%N) && "$2" --script "$3" > "$4" 2>&1 && t1=$(date +%s%N) &&
           echo $(((t1 - t0) / 1000))' \
    sh "$1" "$mailhost" "$work/start.scn" "$work/out.txt" ||
    { echo "startup_update: mailhost failed:" >&2; cat "$work/out.txt" >&2; exit 1; }
}

report() {  # label ignore_echo product_host
  local times=()
  for _ in $(seq "$runs"); do times+=("$(one_run "$2" "$3")"); done
  printf '%s\n' "${times[@]}" | sort -n | awk -v label="$1" -v runs="$runs" -v goal="$goal_ms" '
    { a[NR] = $1 / 1000 }
    END {
      median = a[int((NR + 1) / 2)]; worst = a[NR]
      printf "%-11s median %6.1f ms, worst %6.1f ms over %d runs: %s\n", label, median, worst,
             runs, (worst <= goal ? "within" : "OVER") " the " goal " ms goal"
    }'
}

report unresolved 0 ""
report silent 1 127.0.0.1
