# net.sh — a camera on a network: eth0 in its own network namespace, linked by
# a veth pair to a peer namespace that plays the PC. Sourced by camsim jobs
# after common.sh; the verb peer.

# Only IPv4 on the documentation addresses: no IPv6 link-local chatter.
quiet_link() {
    in_ns "$1" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
        net.ipv6.conf.lo.disable_ipv6=1 >/dev/null 2>&1 || true
    in_ns "$1" ip link set lo up
}

# The first process of a camera's PID namespace: it reaps the orphans (a
# daemonised DHCP client killed by killall) and holds the namespace; it ignores
# signals from inside, and `down` kills it from the PC.
reaper='trap "" INT TERM HUP QUIT; while :; do sleep 86400 & wait $!; done'

link_mac() { in_ns "$1" ip -o link show dev eth0 | sed -n 's/.*link\/ether \([^ ]*\).*/\1/p'; }

# camera_net_up MAC: the camera's eth0 with MAC, the other end of the veth in
# the peer's namespace as eth0 with the PC's address. (segment.sh puts cameras
# on a bridge its own way, in bulk.)
camera_net_up() {
    local mac=$1
    local k
    for k in "${net_kinds[@]}"; do
        if mounted "$nsdir/$k"; then
            # A reaper that died leaves its namespace unusable: start again.
            pinned pid || { camera_down; mkdir -p "$nsdir"; camera_up_ipc; break; }
            local have
            have=$(link_mac net)
            [ -z "$have" ] || [ "$have" = "$mac" ] ||
                die "the camera at $root is already on a network with MAC $have (camsim down first)"
            return 0
        fi
    done
    pin net
    pin uts
    pin peer net
    quiet_link peer
    quiet_link net
    in_ns net ip link add eth0 address "$mac" type veth peer name eth0 netns "$nsdir/peer" ||
        die "cannot make the camera's veth pair"
    in_ns net ip link set eth0 up
    in_ns peer ip link set eth0 address "$peer_mac"
    in_ns peer ip addr add "$peer_addr" dev eth0
    in_ns peer ip link set eth0 up
    # A camera's /run starts empty at every boot.
    rm -rf --one-file-system "$root/run"
    mkdir -p "$root/run"
    : > "$nsdir/pid"
    setsid nsenter "--ipc=$nsdir/ipc" "--net=$nsdir/net" "--uts=$nsdir/uts" -- \
        unshare "--pid=$nsdir/pid" --fork --kill-child -- sh -c "$reaper" \
        </dev/null >/dev/null 2>&1 {lock_fd}<&- &
    printf '%s\n' "$!" > "$nsdir/init"
    local i
    for i in $(seq 100); do
        init_alive && return 0
        sleep 0.05
    done
    die "cannot start the camera's PID namespace"
}

# The camera's network as status shows it.
net_status() {
    is_root && pinned net && pinned peer || return 0
    local cam peer
    cam=$(in_ns net ip -o -4 addr show dev eth0 | awk '{print $4}' | paste -sd, -)
    peer=$(in_ns peer ip -o -4 addr show dev eth0 | awk '{print $4}' | paste -sd, -)
    printf '%s: eth0 %s %s, peer eth0 %s\n' "$root" "$(link_mac net)" "${cam:-no address}" "${peer:-no address}"
}

# Runs a command in a peer namespace, as the PC: its own /sys shows the
# peer's interfaces.
run_peer() {
    local ns=$1
    shift
    is_root || die "peer needs root"
    [ $# -gt 0 ] || set -- "${SHELL:-/bin/sh}"
    exec nsenter "--net=$ns" -- unshare --mount --propagation private -- \
        sh -c 'mount -n -t sysfs camsim-peer /sys && exec "$@"' camsim-peer "$@"
}

peer_main() {
    [ "${1:-}" != -- ] || shift
    lock s
    pinned peer || die "the camera at $root is not on a network (camsim up --net)"
    exec {lock_fd}<&-
    run_peer "$nsdir/peer" "$@"
}
