# job.sh — a camsim verb, handed on by the launcher once it has read the options:
#   bash job.sh CAMSIM BUILD ROOT FRESH VERB [ARG...]
# BUILD is resolved, ROOT as given (empty for the default).
set -euo pipefail
me=$1 build=$2 root=$3 fresh=$4 verb=$5
shift 5
sim=${me%/*}
jobs=$sim/camsim.d

die() { printf 'camsim: %s\n' "$*" >&2; exit 125; }

. "$jobs/common.sh"
case $verb in
    up|down|status|list) . "$jobs/ns.sh" ;;
    peer) . "$jobs/net.sh" ;;
    segment) . "$jobs/segment.sh" ;;
esac
"${verb}_main" "$@"
