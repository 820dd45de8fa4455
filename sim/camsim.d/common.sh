# common.sh — what every camsim job shares: the paths of a camera root, its
# pinned namespaces and the lock on its parent. Sourced by sim/camsim, with
# me, sim, jobs, build, root and fresh set.

build=$(readlink -f "$build")
# A cross build's programs run through the host launchers in emu/.
bin=$build/bin
[ -d "$build/emu" ] && bin=$build/emu
[ -n "$root" ] || root=$build/camroot
mkdir -p "$(dirname "$root")"
root=$(readlink -f "$root")
parent=$(dirname "$root")
base=$(basename "$root")
marker=$root/.camsim-root
template=$sim/root
# What `up` pins, one file per namespace: ipc always; with --net the
# camera's net, uts and pid namespaces and the peer's network (peer). The PID
# namespace lives as long as its first process, a reaper started by `up`
# whose PID on the PC is kept in init.
nsdir=$root/.camsim-ns
ns_kinds=(ipc)
net_kinds=(net uts pid peer)
peer_mac=02:00:00:00:00:01
peer_addr=192.0.2.1/24
lock_fd=""

is_root() { [ "$(id -u)" = 0 ]; }

mounted() { findmnt -rn --mountpoint "$1" >/dev/null 2>&1; }

pinned() {
    mounted "$nsdir/$1" || return 1
    [ "$1" != pid ] || init_alive
}

# The reaper, if it still runs: the process that made the pinned PID namespace
# (checked by the namespace's identity, so a reused PID is never taken for it).
init_pid() {
    local pid
    pid=$(cat "$nsdir/init" 2>/dev/null) || return 1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    [ "$(stat -L -c %i "/proc/$pid/ns/pid_for_children" 2>/dev/null)" = "$(stat -L -c %i "$nsdir/pid")" ] ||
        return 1
    printf '%s\n' "$pid"
}
init_alive() { init_pid >/dev/null; }

pinned_kinds() {
    local k
    for k in "${ns_kinds[@]}" "${net_kinds[@]}"; do
        if pinned "$k"; then printf '%s ' "$k"; fi
    done
}

# Making, refreshing, taking up or down and entering a root are serialised
# by a lock on its parent directory: creation holds it exclusively, a run
# shares it until its mounts are made, so no run enters a half-swapped root.
lock() {
    [ -n "$lock_fd" ] || exec {lock_fd}<"$parent"
    flock "-$1" "$lock_fd"
}

in_ns() { local ns=$1; shift; nsenter "--net=$nsdir/$ns" -- "$@"; }
