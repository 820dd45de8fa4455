// devices.h — camsim's device options: the camera's flash partitions, SD
// cards and EEPROM faults. Each option is checked whole when it is read, so
// a mistake is refused before anything of the root changes; the checked
// value is then written where the root template's files and the device shim
// read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

struct Partition {
    std::string name;
    uint32_t size = 0;
    uint32_t erase_size = 0;
    std::vector<std::string> bad;  // offsets as typed (the shim reads hex or decimal)
    std::string fail;              // an offset whose bad-block request fails, or empty
};

struct Devices {
    bool mtd_given = false;            // any --mtd: the listed partitions replace the layout
    std::vector<Partition> partitions;
    std::optional<std::vector<std::string>> cards;  // --sd: card sizes, empty for none
    std::string eeprom_driver;         // platform, standard, or empty to keep
    std::string eeprom_fail;           // open, none, a decimal address, or empty to keep
};

constexpr unsigned kEepromBytes = 256;

// Takes one device option (--mtd, --sd, ...) and its value into devices;
// false, with why, when the value is refused.
bool take_device_option(const std::string& option, const std::string& value, Devices& devices,
                        std::string& why);

// The text of the camera's /proc/mtd for these partitions.
std::string proc_mtd_text(const std::vector<Partition>& partitions);

}  // namespace camsim
