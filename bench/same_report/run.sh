#!/bin/sh
# Whether two builds print the same report, byte for byte but for pointer
# values, in the integration scenarios (netns_report, netns_routes,
# netns_edges, and dhcp_clients with the real clients unless QUICK is set)
# and in every lease fixture tree.
#
# usage, as root: bench/same_report/run.sh OLD_OSTREL NEW_OSTREL
here=$(cd "$(dirname "$0")" && pwd)
export OSTREL_OLD=$(realpath "$1") OSTREL_NEW=$(realpath "$2")
OSTREL_LOG=$(mktemp -d) && chmod 1777 "$OSTREL_LOG" && export OSTREL_LOG
chmod 755 "$here"/*.py "$here"/*.sh
scenarios="netns_report netns_routes netns_edges"
[ -n "$QUICK" ] || scenarios="$scenarios dhcp_clients"
for scenario in $scenarios; do
  python3 "$here/../../tests/integration/$scenario.py" "$here/both.py" > "$OSTREL_LOG/$scenario.out" 2>&1
  echo "$scenario: exit $?"
done
for tree in "$here"/../../tests/fixtures/leases/*/; do
  unshare -m -n "$here/fixture.sh" "$tree" > "$OSTREL_LOG/fixture.out" 2>&1
  echo "fixture $(basename "$tree"): exit $?"
done
same=0 differ=0
for old in "$OSTREL_LOG"/*.old; do
  if cmp -s "$old" "${old%.old}.new"; then same=$((same + 1)); else
    differ=$((differ + 1)); diff "$old" "${old%.old}.new" | head -20
  fi
done
echo "$((same + differ)) comparisons, $same identical; reports in $OSTREL_LOG"
[ "$differ" -eq 0 ]
