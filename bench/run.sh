#!/usr/bin/env bash
# Ostrel against `ip -d addr show` in network namespaces of growing size.
#
# usage, as root: bench/run.sh [OSTREL]     (default: build/default/Ostrel)
#
# For every size N a fresh namespace holds exactly N veth interfaces plus lo:
# each veth's peer lives in a second namespace, so N = 1 is possible and the
# peers stay out of both reports. Interface i is v<i> with 10.<1+i/256>.<i%256>.1/24;
# every odd one has valid_lft/preferred_lft 3600, the others are permanent;
# the default route goes via 10.1.0.2 on v0. Both programs run inside the
# namespace (hyperfine itself runs there, so the namespace switch is not timed),
# with standard input and output on /dev/null. Router solicitations are off in
# both namespaces so that idle veths stay quiet.
#
# Environment: SIZES (default "1 100 1000 4000"), WARMUP (default 5),
# MIN_RUNS (default 30), SETTLE (seconds between building and timing, default 5).
#
# Prints one Markdown table and a pass/fail line per target on standard
# output; progress goes to standard error. Exit status: 0 all targets met,
# 1 a target missed, 2 the measurement itself failed.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ostrel=${1:-$here/../build/default/Ostrel}
sizes=${SIZES:-1 100 1000 4000}
warmup=${WARMUP:-5}
min_runs=${MIN_RUNS:-30}
settle=${SETTLE:-5}

fail() {
    echo "bench: $*" >&2
    exit 2
}

[[ $EUID -eq 0 ]] || fail "needs root to build network namespaces"
[[ -x $ostrel ]] || fail "no executable Ostrel at $ostrel (build it first or name it)"
ostrel=$(realpath "$ostrel")
# The tools and their Debian packages; missing ones are installed through apt.
missing=()
for pair in ip:iproute2 hyperfine:hyperfine python3:python3 /usr/bin/time:time; do
    command -v "${pair%:*}" >/dev/null || missing+=("${pair#*:}")
done
if ((${#missing[@]})); then
    command -v apt-get >/dev/null || fail "needs ${missing[*]}"
    echo "bench: installing ${missing[*]}" >&2
    apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2 ||
        fail "could not install ${missing[*]}"
fi

work=$(mktemp -d /tmp/ostrel-bench.XXXXXX)
namespaces=()

delete_namespaces() {
    local ns
    for ns in "${namespaces[@]}"; do
        ip netns del "$ns" 2>/dev/null || true
    done
    namespaces=()
}

cleanup() {
    delete_namespaces
    rm -rf "$work"
}
trap cleanup EXIT
trap 'cleanup; trap - INT; kill -INT $$' INT
trap 'cleanup; exit 143' TERM HUP

new_namespace() {
    # Listed before creation, so a failure halfway still deletes it.
    namespaces+=("$1")
    ip netns add "$1"
}

# Batch lines for the measured namespace: links (peers created straight into
# the peer namespace), addresses, then the default route.
measured_batch() {
    local n=$1 peer=$2 i lifetime
    echo "link set lo up"
    for ((i = 0; i < n; i++)); do
        echo "link add v$i type veth peer name p$i netns $peer"
    done
    for ((i = 0; i < n; i++)); do
        echo "link set v$i up"
    done
    for ((i = 0; i < n; i++)); do
        lifetime=""
        ((i % 2)) && lifetime=" valid_lft 3600 preferred_lft 3600"
        echo "addr add 10.$((1 + i / 256)).$((i % 256)).1/24 dev v$i$lifetime"
    done
    echo "route add default via 10.1.0.2 dev v0"
}

peer_batch() {
    local n=$1 i
    for ((i = 0; i < n; i++)); do
        echo "link set p$i up"
    done
}

peak_rss_kib() {
    local ns=$1 out=$work/time.txt max=0 rss i
    shift
    for i in 1 2 3; do
        ip netns exec "$ns" /usr/bin/time -v -o "$out" "$@" </dev/null >/dev/null 2>&1 ||
            fail "$* failed in $ns"
        rss=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$out")
        [[ $rss =~ ^[0-9]+$ ]] || fail "no peak RSS from /usr/bin/time for $*"
        ((rss > max)) && max=$rss
    done
    echo "$max"
}

quiet_namespace() {
    # Left on, every veth keeps soliciting routers: background traffic that
    # lands in the timings. Link-local addresses stay, so ip still lists them.
    ip netns exec "$1" sysctl -qw net.ipv6.conf.default.router_solicitations=0 \
        net.ipv6.conf.all.router_solicitations=0
}

build_namespace() {
    local n=$1 ns=$2 peer=$3
    new_namespace "$ns"
    new_namespace "$peer"
    quiet_namespace "$ns"
    quiet_namespace "$peer"
    measured_batch "$n" "$peer" | ip -n "$ns" -batch - || fail "building $ns failed"
    peer_batch "$n" | ip -n "$peer" -batch - || fail "bringing up the peers in $peer failed"
    local links
    links=$(ip -n "$ns" -o link show type veth | wc -l)
    [[ $links -eq $n ]] || fail "$ns holds $links veth interfaces instead of $n"
}

# All namespaces are built before anything is timed and deleted only at the
# end: the kernel tears a namespace down in the background under the lock
# every dump needs, and the new links' address and multicast traffic takes a
# few seconds to die down.
tag="ob$$"
for n in $sizes; do
    echo "bench: building a namespace with $n interfaces" >&2
    build_namespace "$n" "${tag}_$n" "${tag}_${n}_peer"
done
sleep "$settle"

results=$work/results.tsv
: >"$results"
for n in $sizes; do
    ns="${tag}_$n"
    records=$(ip netns exec "$ns" "$ostrel" </dev/null | grep -c '^IP_ADAPTER_INFO: $' || true)
    ((records >= n)) || fail "Ostrel reported $records records in $ns, expected at least $n"

    echo "bench: $n interfaces: timing ($records records in Ostrel's report)" >&2
    json=$work/hyperfine_$n.json
    ip netns exec "$ns" hyperfine --shell=none --style=basic --warmup "$warmup" \
        --min-runs "$min_runs" --output=null --export-json "$json" \
        --command-name Ostrel "$(printf '%q' "$ostrel")" \
        --command-name ip "ip -d addr show" </dev/null >&2 ||
        fail "hyperfine failed in $ns"

    ostrel_rss=$(peak_rss_kib "$ns" "$ostrel")
    ip_rss=$(peak_rss_kib "$ns" ip -d addr show)
    printf '%s\t%s\t%s\t%s\n' "$n" "$json" "$ostrel_rss" "$ip_rss" >>"$results"
done

python3 "$here/table.py" "$results"
