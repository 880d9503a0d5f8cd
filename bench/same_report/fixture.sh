#!/bin/sh
# Run by run.sh under "unshare -m -n": a lease fixture tree's stores in
# place of the machine's (tmpfs over /run and /var/lib, in this mount
# namespace only), the links its files name, each holding every address
# the tree mentions, then both builds.
tree=$1
mount --make-rprivate / && mount -t tmpfs none /run && mount -t tmpfs none /var/lib || exit 2
cp -r "$tree/." /
find /run /var/lib -type f -exec touch -d @1700000000 {} +
ip link set lo up
addresses=$(python3 "$(dirname "$0")/addresses.py" "$tree")
for name in eth0 eth1 eth2 eth3 eth4 eth10 enp1s0 br-lan wlan0; do
  ip link add "$name" type dummy && ip link set "$name" up
  for a in $addresses; do ip addr add "$a/32" dev "$name"; done
done
ip link add link eth0 name eth0.100 type vlan id 100 && ip link set eth0.100 up
"$(dirname "$0")/both.py"
