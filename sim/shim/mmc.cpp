// mmc.cpp — the SD card slots: /dev/mmcblkN (and its partitions) is the card
// image of the same name under the camera root's dev/, so that the disk tools
// (fdisk, mkdosfs, dosfsck, dd) work on it; no image, no card.
#include <string.h>

#include "shim.h"

namespace {

constexpr char kPrefix[] = "/dev/mmcblk";

shim::Claim claim(const char* path, char* redirect, size_t size, int*)
{
    if (strncmp(path, kPrefix, strlen(kPrefix)) != 0 || strchr(path + 5, '/') != nullptr)
        return shim::kPass;
    return shim::root_path(path + 1, redirect, size) ? shim::kRedirect : shim::kPass;
}

const shim::Device kMmc = {"mmc", claim, nullptr, nullptr, nullptr, nullptr, nullptr};
SHIM_DEVICE(kMmc)

}  // namespace
