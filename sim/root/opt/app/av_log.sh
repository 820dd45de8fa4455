#!/bin/sh
# av_log.sh — gathers the state that each media component publishes into one
# file per component, /tmp/media/<component>.log, for `debug -M media`.
#
# On the simulated camera a component publishes its state as the file
# $VDSIM_DIR/media/<component>; one that publishes nothing has no state file.
src=${VDSIM_DIR:-/nonexistent}/media
mkdir -p /tmp/media || exit 1
for name in acodec adec aenc ai ao chnl h264e h265e isp ive jpege rc rgn sys vb vda venc vgs vi vo vpss; do
    if [ -f "$src/$name" ]; then
        cp "$src/$name" "/tmp/media/$name.log"
    else
        rm -f "/tmp/media/$name.log"
    fi
done
