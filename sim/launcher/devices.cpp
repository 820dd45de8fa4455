// devices.cpp — reading and checking camsim's device options.
#include "devices.h"

#include <cinttypes>
#include <cstdio>

namespace camsim {
namespace {

// A number as the options take it: decimal or 0x hexadecimal, in 32 bits
// (the partition table prints eight hex digits).
std::optional<uint32_t> number(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start)
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); i++) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * (hex ? 16 : 10) + digit;
        if (value > UINT32_MAX)
            return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

constexpr uint64_t kMaxCardBytes = 64ull << 30;

bool refuse(std::string& why, std::string text)
{
    why = std::move(text);
    return false;
}

bool take_mtd(const std::string& spec, Devices& d, std::string& why)
{
    d.mtd_given = true;
    if (spec == "none")
        return true;
    const auto fields = split(spec, ':');
    Partition p;
    p.name = fields[0];
    bool name_ok = !p.name.empty();
    for (const unsigned char c : p.name)
        name_ok = name_ok && c >= 0x20 && c != 0x7f && c != '"';
    if (!name_ok)
        return refuse(why, "bad partition name in --mtd " + spec);
    const auto size = fields.size() >= 3 ? number(fields[1]) : std::nullopt;
    const auto erase = fields.size() >= 3 ? number(fields[2]) : std::nullopt;
    if (!size || !erase || fields.size() > 5)
        return refuse(why, "--mtd wants NAME:SIZE:ERASESIZE[:BAD,...[:FAIL]], not " + spec);
    p.size = *size;
    p.erase_size = *erase;
    // An offset past the partition names no block of it.
    auto inside = [&](const std::string& offset) {
        const auto o = number(offset);
        return o && *o < p.size;
    };
    if (fields.size() >= 4 && !fields[3].empty()) {
        for (const auto& b : split(fields[3], ',')) {
            if (!inside(b))
                return refuse(why, "bad block offset " + b + " in --mtd " + spec +
                                       " (a number below the partition's size)");
            p.bad.push_back(b);
        }
    }
    if (fields.size() == 5) {
        if (!inside(fields[4]))
            return refuse(why, "bad failing offset " + fields[4] + " in --mtd " + spec +
                                   " (a number below the partition's size)");
        p.fail = fields[4];
    }
    d.partitions.push_back(std::move(p));
    return true;
}

bool take_sd(const std::string& value, Devices& d, std::string& why)
{
    std::vector<std::string> sizes;
    if (value != "none") {
        for (const auto& s : split(value, ',')) {
            // A number with an optional unit, as truncate reads it; a card
            // is sparse, but mkfs still writes its tables across it.
            const char unit = s.empty() ? 0 : s.back();
            const uint64_t scale = unit == 'K' ? 1ull << 10 : unit == 'M' ? 1ull << 20 : unit == 'G' ? 1ull << 30 : 1;
            const std::string digits = scale == 1 ? s : s.substr(0, s.size() - 1);
            uint64_t count = 0;
            bool ok = !digits.empty() && digits[0] != '0' && digits.size() <= 12;
            for (const char c : digits) {
                ok = ok && c >= '0' && c <= '9';
                count = count * 10 + static_cast<uint64_t>(c - '0');
            }
            if (!ok || count > kMaxCardBytes / scale)
                return refuse(why, "bad card size " + s + " (a number with K, M or G, at most 64G)");
            sizes.push_back(s);
        }
    }
    d.cards = std::move(sizes);
    return true;
}

}  // namespace

bool take_device_option(const std::string& option, const std::string& value, Devices& d, std::string& why)
{
    if (option == "--mtd")
        return take_mtd(value, d, why);
    if (option == "--sd")
        return take_sd(value, d, why);
    if (option == "--eeprom-driver") {
        if (value != "platform" && value != "standard")
            return refuse(why, "--eeprom-driver is platform or standard, not " + value);
        d.eeprom_driver = value;
        return true;
    }
    if (option == "--eeprom-fail") {
        if (value == "open" || value == "none") {
            d.eeprom_fail = value;
            return true;
        }
        const auto address = number(value);
        if (!address)
            return refuse(why, "--eeprom-fail is open, an address or none, not " + value);
        if (*address >= kEepromBytes)
            return refuse(why, "--eeprom-fail " + value + ": the EEPROM's addresses are 0 to 255");
        d.eeprom_fail = std::to_string(*address);
        return true;
    }
    return refuse(why, "unknown option " + option + " (see camsim --help)");
}

std::string proc_mtd_text(const std::vector<Partition>& partitions)
{
    std::string text = "dev:    size   erasesize  name\n";
    char line[96];
    for (size_t i = 0; i < partitions.size(); i++) {
        snprintf(line, sizeof line, "mtd%zu: %08" PRIx32 " %08" PRIx32 " \"", i, partitions[i].size,
                 partitions[i].erase_size);
        text += line + partitions[i].name + "\"\n";
    }
    return text;
}

}  // namespace camsim
