# ns.sh — a camera kept up: its namespaces pinned under ROOT/.camsim-ns, the
# way `ip netns` pins them, so that every run on the root shares them.
# Sourced by sim/camsim after common.sh; the verbs up, down, status and list.
. "$jobs/root.sh"
. "$jobs/net.sh"

pin() {
    : > "$nsdir/$1"
    unshare "--${2:-$1}=$nsdir/$1" true || die "cannot pin the camera's $1 namespace"
}

camera_up_ipc() {
    local k
    for k in "${ns_kinds[@]}"; do
        pinned "$k" && continue
        pin "$k"
    done
}

camera_down() {
    [ -e "$nsdir" ] || return 0
    local k pid
    if ! is_root && [ -n "$(findmnt -rn -o TARGET | grep -F "$nsdir/")" ]; then
        die "down needs root: the camera's namespaces are pinned by mounts on the PC"
    fi
    # Killing the reaper ends every process of the camera.
    if pid=$(init_pid); then
        kill -KILL "$pid" 2>/dev/null || true
        while [ -e "/proc/$pid" ] && init_alive; do sleep 0.02; done
    fi
    for k in "${net_kinds[@]}" "${ns_kinds[@]}"; do
        if mounted "$nsdir/$k"; then
            umount "$nsdir/$k" || die "cannot release the camera's $k namespace"
        fi
        rm -f "$nsdir/$k"
    done
    rm -f "$nsdir/init"
    rmdir "$nsdir"
}

up_main() {
    local net=0 mac=02:00:00:00:00:0a
    while [ $# -gt 0 ]; do
        case $1 in
            --net) net=1; shift ;;
            --mac) [ $# -ge 2 ] || die "--mac needs an address"; mac=${2,,}; shift 2 ;;
            *) die "up: unknown argument $1 (see camsim --help)" ;;
        esac
    done
    # Locally administered unicast: the second digit is 2, 6, a or e.
    [[ $mac =~ ^[0-9a-f][26ae](:[0-9a-f]{2}){5}$ ]] ||
        die "--mac: $mac is not a locally administered unicast MAC (x2:xx:xx:xx:xx:xx)"
    lock x
    make_root
    is_root || die "up needs root: the camera's namespaces are pinned by mounts on the PC"
    mkdir -p "$nsdir"
    camera_up_ipc
    [ "$net" = 0 ] || camera_net_up "$mac"
}

down_main() {
    [ $# -eq 0 ] || die "down: unknown argument $1 (see camsim --help)"
    lock x
    camera_down
}

status_main() {
    [ $# -eq 0 ] || die "status: unknown argument $1 (see camsim --help)"
    lock s
    local kinds
    kinds=$(pinned_kinds)
    if [ -n "$kinds" ]; then
        printf '%s: up (%s)\n' "$root" "${kinds% }"
        net_status
        exit 0
    fi
    printf '%s: down\n' "$root"
    exit 1
}

# Every root that is up, from the PC's mount table, as `ip netns list` lists
# the namespaces it pinned: "ROOT (KINDS)", and "DIR (segment, N cameras)",
# sorted by path (cam2 before cam10), so a segment comes before its cameras.
list_main() {
    [ $# -eq 0 ] || die "list: unknown argument $1 (see camsim --help)"
    local line mp k kinds r
    local -a table order
    declare -A up=()
    # One pass: `read` seeks back after each line, and a table that other
    # programs change meanwhile then loses lines.
    mapfile -t table </proc/self/mountinfo
    for line in "${table[@]}"; do
        [[ $line =~ ^[^\ ]+\ [^\ ]+\ [^\ ]+\ [^\ ]+\ ([^\ ]+) ]] || continue
        printf -v mp '%b' "${BASH_REMATCH[1]}"
        case $mp in
            */.camsim-ns/*) r=${mp%/.camsim-ns/*}; k=${mp##*/} ;;
            */.camsim-segment/peer) r=${mp%/.camsim-segment/peer}; k=segment ;;
            *) continue ;;
        esac
        up[$r]+=" $k"
    done
    [ ${#up[@]} -gt 0 ] || return 0
    mapfile -t order < <(printf '%s\n' "${!up[@]}" | sort -V)
    for r in "${order[@]}"; do
        kinds=${up[$r]# }
        if [ "$kinds" = segment ]; then
            printf '%s (segment, %s cameras)\n' "$r" "$(cat "$r/.camsim-segment/count" 2>/dev/null || echo 0)"
        else
            # In the order status prints them.
            local sorted=""
            for k in "${ns_kinds[@]}" "${net_kinds[@]}"; do
                case " $kinds " in *" $k "*) sorted+=" $k" ;; esac
            done
            printf '%s (%s)\n' "$r" "${sorted# }"
        fi
    done
}
