# Sourced by the page's benchmarks: registers ADDIN in DATA and starts
# `MAILHOST --web 0` there, its output in OUT. Sets pid, address (as printed:
# http://127.0.0.1:PORT/?token=TOKEN, what a browser opens), base
# (http://127.0.0.1:PORT/), token and auth (the header curl sends), and
# answers the first start's tutorial box.
#
# page_bench NAME MAILHOST ADDIN ... sets mailhost, addin, root (the
# repository) and work (a fresh folder, removed on exit with the mailhost
# start_page started).
page_bench() {
  mailhost=$2
  addin=$3
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  work=$(mktemp -d "/var/tmp/sonvera-$1.XXXXXX")
  pid=
  trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
}

start_page() {
  local mailhost=$1 addin=$2 data=$3 out=$4
  "$mailhost" --register "$addin" --data "$data" >/dev/null
  SONVERA_PRODUCT_HOST=http://127.0.0.1:9 "$mailhost" --web 0 --data "$data" >"$out" 2>&1 &
  pid=$!
  for _ in $(seq 100); do grep -qs '^page ' "$out" && break; sleep 0.1; done
  address=$(sed -n 's/^page //p' "$out")
  base=${address%%\?token=*}
  token=${address##*token=}
  auth="Authorization: Bearer $token"
  curl -s -o /dev/null -H "$auth" -X POST --data-binary No "${base}answer"
}
