// vdwifi.cpp — stand-in for the camera's Wi-Fi library. State under VDSIM_DIR:
//   wifi/config         the last configuration applied (the 440-byte record)
//   wifi/config_result  when present, what wifi_config answers instead of applying
//   wifi/scan           the access points in range, one "bssid<TAB>frequency<TAB>
//                       signal<TAB>flags<TAB>ssid" line each (scan_results form)
//   wifi/link           0 link down, 1 link up, other: cannot tell (default 0)
//   wifi/pin            the camera's WPS PIN
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vdsim.h"
#include "vdwifi.h"

struct WifiApList {
    int count;
};

namespace {

constexpr char kConfigFile[] = "wifi/config";
constexpr char kDefaultPin[] = "12345670";

void trace_config(const WifiConfig* c)
{
    using vdsim::TraceArg;
    vdsim::trace("wifi_config", {TraceArg::record({
        {"ssid", TraceArg::field_text(c->ssid, sizeof c->ssid)},
        {"mode", c->mode},
        {"channel", c->channel},
        {"key_mgmt", c->key_mgmt},
        {"auth_alg", c->auth_alg},
        {"group", c->group},
        {"encryp", c->encryp},
        {"select", static_cast<unsigned>(c->select)},
        {"key0", TraceArg::field_text(c->key0, sizeof c->key0)},
        {"key1", TraceArg::field_text(c->key1, sizeof c->key1)},
        {"key2", TraceArg::field_text(c->key2, sizeof c->key2)},
        {"key3", TraceArg::field_text(c->key3, sizeof c->key3)},
        {"keytype", c->keytype},
        {"pairwise", c->pairwise},
        {"proto", c->proto},
        {"psk", TraceArg::field_text(c->psk, sizeof c->psk)},
        {"wps", static_cast<unsigned>(c->wps)},
        {"pbc", static_cast<unsigned>(c->pbc)},
        {"pin", static_cast<unsigned>(c->pin)},
        {"apname", TraceArg::field_text(c->apname, sizeof c->apname)},
        {"pincode", TraceArg::field_text(c->pincode, sizeof c->pincode)},
    })});
}

bool stored_config(WifiConfig* c)
{
    return vdsim::state_read(kConfigFile, c, sizeof *c) == static_cast<long>(sizeof *c);
}

// A text field of the record, never past its end.
void print_field(const char* key, const char* text, size_t size)
{
    printf("%s=%.*s\n", key, static_cast<int>(strnlen(text, size)), text);
}

}  // namespace

extern "C" {

int wifi_config(const WifiConfig* config)
{
    if (config == nullptr) {
        vdsim::trace("wifi_config", {static_cast<const char*>(nullptr)});
        return -1;
    }
    trace_config(config);
    long refused = vdsim::state_int("wifi/config_result", 0);
    if (refused != 0)
        return static_cast<int>(refused);
    return vdsim::state_write(kConfigFile, config, sizeof *config) ? 0 : -1;
}

WifiApList* wifi_info_scan(int mode)
{
    vdsim::trace("wifi_info_scan", {mode});
    WifiApList* list = static_cast<WifiApList*>(calloc(1, sizeof(WifiApList)));
    if (list == nullptr)
        return nullptr;
    char text[8192];
    long len = vdsim::state_read("wifi/scan", text, sizeof text - 1);
    text[len > 0 ? len : 0] = '\0';
    printf("bssid / frequency / signal level / flags / ssid\n");
    // An ad-hoc scan finds the independent (IBSS) cells, a managed one the rest.
    char* save = nullptr;
    for (char* line = strtok_r(text, "\n", &save); line != nullptr; line = strtok_r(nullptr, "\n", &save)) {
        bool ibss = strstr(line, "[IBSS]") != nullptr;
        if (ibss != (mode == 1))
            continue;
        printf("%s\n", line);
        ++list->count;
    }
    return list;
}

void wifi_info_list_delete(WifiApList* list)
{
    vdsim::trace("wifi_info_list_delete", {list != nullptr ? list->count : -1});
    free(list);
}

int wifi_print_config(void)
{
    vdsim::trace("wifi_print_config");
    WifiConfig c;
    if (!stored_config(&c)) {
        printf("wpa_state=INACTIVE\n");
        return -1;
    }
    print_field("ssid", c.ssid, sizeof c.ssid);
    printf("mode=%d\nchannel=%d\nkey_mgmt=%d\nauth_alg=%d\ngroup=%d\nencryp=%d\nselect=%u\n", c.mode,
           c.channel, c.key_mgmt, c.auth_alg, c.group, c.encryp, c.select);
    print_field("key0", c.key0, sizeof c.key0);
    print_field("key1", c.key1, sizeof c.key1);
    print_field("key2", c.key2, sizeof c.key2);
    print_field("key3", c.key3, sizeof c.key3);
    printf("keytype=%d\npairwise=%d\nproto=%d\n", c.keytype, c.pairwise, c.proto);
    print_field("psk", c.psk, sizeof c.psk);
    printf("wps=%u\npbc=%u\npin=%u\n", c.wps, c.pbc, c.pin);
    print_field("apname", c.apname, sizeof c.apname);
    print_field("pincode", c.pincode, sizeof c.pincode);
    return 0;
}

int wifi_get_status(void)
{
    vdsim::trace("wifi_get_status");
    return static_cast<int>(vdsim::state_int("wifi/link", 0));
}

void wifi_print_status(void)
{
    vdsim::trace("wifi_print_status");
    long link = vdsim::state_int("wifi/link", 0);
    printf("interface=wlan0\n");
    if (link == 1) {
        WifiConfig c;
        printf("wpa_state=COMPLETED\n");
        if (stored_config(&c))
            print_field("ssid", c.ssid, sizeof c.ssid);
    } else {
        printf("wpa_state=%s\n", link == 0 ? "DISCONNECTED" : "INTERFACE_DISABLED");
    }
}

int wifi_wps_get_pin(char* pin)
{
    vdsim::trace("wifi_wps_get_pin");
    if (pin == nullptr)
        return -1;
    // Eight digits and the NUL: what the caller's buffer holds.
    char text[9];
    long len = vdsim::state_read("wifi/pin", text, 8);
    if (len <= 0) {
        memcpy(pin, kDefaultPin, sizeof kDefaultPin);
        return 0;
    }
    while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r'))
        --len;
    memcpy(pin, text, static_cast<size_t>(len));
    pin[len] = '\0';
    return 0;
}

}  // extern "C"
