#!/bin/sh
# Run by run.sh under "unshare -m -n": a lease fixture tree's stores in
# place of the machine's (tmpfs over /run and /var/lib, in this mount
# namespace only), the links its files name (veths: a kernel may lack the
# dummy module), each holding every address the tree mentions, then both
# builds.
tree=$1
mount --make-rprivate / && mount -t tmpfs none /run && mount -t tmpfs none /var/lib || exit 2
cp -r "$tree/." /
find /run /var/lib -type f -exec touch {} +
ip link set lo up
addresses=$(python3 "$(dirname "$0")/addresses.py" "$tree")
peer=0
for name in eth0 eth1 eth2 eth3 eth4 eth10 eth0.100 enp1s0 br-lan wlan0; do
  peer=$((peer + 1))
  ip link add "$name" type veth peer name "peer$peer" || exit 2
  ip link set "$name" up && ip link set "peer$peer" up
  for a in $addresses; do ip addr add "$a/32" dev "$name"; done
done
"$(dirname "$0")/both.py"
