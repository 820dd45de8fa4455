// vd_wifi.cpp — fills one Wi-Fi configuration from the options and hands it to
// the camera's Wi-Fi library; scan, configuration, link state and WPS PIN.
#include "vd_wifi.h"

#include <getopt.h>
#include <string.h>

#include <iterator>

#include "module.h"
#include "osa.h"
#include "vdwifi.h"

namespace {

constexpr uint8_t kWifiId = 18;

enum WifiEncryp {
    kEncrypOpen = 0, kEncrypWep = 1, kEncrypWpaPsk = 2, kEncrypWpa2Psk = 3,
    kEncrypWpaWpa2Psk = 4, kEncrypWps = 8,
};

// The record and, right after it, the wireless interface's static address
// defaults, which the library may read past the record.
struct WifiData {
    WifiConfig config;
    uint8_t reserved[4];
    char address[32];
    char netmask[32];
    char hwaddr[32];
    char ifname[32];
};
static_assert(offsetof(WifiData, address) == 444, "WifiData layout");
static_assert(offsetof(WifiData, netmask) == 476, "WifiData layout");
static_assert(offsetof(WifiData, hwaddr) == 508, "WifiData layout");
static_assert(offsetof(WifiData, ifname) == 540, "WifiData layout");

WifiData g_wifi = {
    {"Vardemoor-Test", 0, 2442, 2, 0, 5, kEncrypWps, 0, "53917", "4a7f2c9e51", "8604213975318",
     "c0e5a19b7d3f268e4b90d1a7f2", {0, 0, 0}, 1, 3, 2, "quillmere", 1, 1, 0, "Vardemoor-Test",
     "58203917", {0, 0, 0}},
    {0, 0, 0, 0}, "192.168.0.190", "255.255.255.0", "02:5a:7e:ff:00:f0", "wlan0",
};
WifiConfig& g_cfg = g_wifi.config;
int g_apply;  // wifi_config is called at the end only when something asked for it

enum WifiLongOption {
    kOptAuthAlg = 1, kOptKeyMgmt, kOptGroup, kOptSsid, kOptSelect, kOptKey0, kOptKey1, kOptKey2,
    kOptKey3, kOptKeytype, kOptPairwise, kOptProto, kOptPsk, kOptWps, kOptApname, kOptPincode,
    kOptScan, kOptStatus, kOptLink,
};

constexpr char kShortOptions[] = "M:m:e:c:";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"mode", required_argument, nullptr, 'm'},
    {"encryp", required_argument, nullptr, 'e'},
    {"channel", required_argument, nullptr, 'c'},
    {"auth_alg", required_argument, nullptr, kOptAuthAlg},
    {"key_mgmt", required_argument, nullptr, kOptKeyMgmt},
    {"group", required_argument, nullptr, kOptGroup},
    {"ssid", required_argument, nullptr, kOptSsid},
    {"select", required_argument, nullptr, kOptSelect},
    {"key0", required_argument, nullptr, kOptKey0},
    {"key1", required_argument, nullptr, kOptKey1},
    {"key2", required_argument, nullptr, kOptKey2},
    {"key3", required_argument, nullptr, kOptKey3},
    {"keytype", required_argument, nullptr, kOptKeytype},
    {"pairwise", required_argument, nullptr, kOptPairwise},
    {"proto", required_argument, nullptr, kOptProto},
    {"psk", required_argument, nullptr, kOptPsk},
    {"wps", required_argument, nullptr, kOptWps},
    {"apname", required_argument, nullptr, kOptApname},
    {"pincode", required_argument, nullptr, kOptPincode},
    {"scan", no_argument, nullptr, kOptScan},
    {"status", no_argument, nullptr, kOptStatus},
    {"link", no_argument, nullptr, kOptLink},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: wifi"},
    {"digit", "wifi work mode default [0:manage]"},
    {"str", "wifi encryption type default[4:wpa-wpa2-psk]"},
    {"digit", "wifi work channel, default [7]:2.442GHZ"},
    {"digit", "wifi auth_alg, default[0:OPEN]"},
    {"digit", "wifi key_mgmt, default[2:PSK]"},
    {"digit", "wifi group, default[5:WPA]"},
    {"str", "wifi ssid name, default[Vardemoor-Test]"},
    {"digit", "wifi wep key select, default[0]"},
    {"str", "wifi wep key0, default [53917(ASCII)]"},
    {"str", "wifi wep key1, default [4a7f2c9e51(HEX)]"},
    {"str", "wifi wep key2, default [8604213975318(ASCII)]"},
    {"str", "wifi wep key3, default [c0e5a19b7d3f268e4b90d1a7f2(HEX)]"},
    {"dight", "wifi wep key type, default[1:ASCII]"},
    {"dight", "wifi wpa pairwise, default[3:AUTO]"},
    {"dight", "wifi wpa proto, default[3:AUTO]"},
    {"pskkey", "wifi wpa psk key, default[quillmere]"},
    {"digit", "wifi wps type, default[1: PBC]"},
    {"str", "wifi wps appin AP name, default[Vardemoor-Test]"},
    {"str", "wifi wps appin AP pincode, default[5820391]"},
    {"", "wifi scan AP infromation"},
    {"", "wifi get current work information"},
    {"", "wifi check device link up/down"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

// The description after the option help. A line marked false continues on
// the same output line as the next.
struct UsageLine {
    const char* text;
    bool ends_line;
};
const UsageLine kUsageText[] = {
    {"Wifi configure descryption: ", true},
    {"common config:", true},
    {"    encryp=default[4:wpa-wpa2-psk]", true},
    {"        [0]open: open mode, no encrypeted", true},
    {"        [1]wep: wep encryption", true},
    {"        [2]wpa-psk: WPA1 persional key", true},
    {"        [3]wpa2-psk: WPA2 persional key", true},
    {"        [4]wpa+wpa2-psk: WPA1+WPA2 persional key", true},
    {"        [5]wpa-eap: WPA1 EPA encryption", true},
    {"        [6]wpa2-eap: WPA2 EPA encryption", true},
    {"        [7]wpa+wpa2-eap: WPA1+WPA2 EPA encryption", true},
    {"        [8]wps: Wi-Fi Protected Setup, auto connect to Wi-Fi", true},
    {"    mode=default[0:manage]", true},
    {"        [0]: manage, [1]: ad-hoc", true},
    {"    channel=default[7(2.442GHZ)]", true},
    {"        [1(2.412GHZ)-14(2.484GHZ)], (step 0.005GHZ)", true},
    {"    key_mgmt=default[2:WPA-PSK]", true},
    {"        [0]NONE: for WEP or Ad-hoc open/wep encryption mode", true},
    {"        [1]IEEE8021X: for ieee8021x]", true},
    {"        [2]WPA-PSK: for WPA personal", true},
    {"        [3]WPA-EAP: for WPA enterprise", true},
    {"        [4]WPA-NONE: for Ad-hoc WPA encryption mode", true},
    {"        [5]ALL: for all [NONE IEEE8021X WPA-PSK WPA-EAP]", true},
    {"    auth_alg=default[0:OPEN]", true},
    {"        [0]: OPEN, Open System authentication (required for WPA/WPA2)", true},
    {"        [1]: Shared Key authentication (requires static WEP keys)", true},
    {"        [2]: LEAP/Network EAP (only used with LEAP)", true},
    {"    group=default[5:WPA]", false},
    {"        [0]: CCMP/AES, [1]: TKIP, [2]:WEP104, [3]:WEP40", true},
    {"        [5]: WEP, [6]: WPA, [7]:ALL", true},
    {"    ssid:=default[Vardemoor-Test]\n", true},
    {"WEP config:", true},
    {"    select=default[0]", true},
    {"        [n]: use WEP[n] as wep encrption key value", true},
    {"    key0=default[53917(ASCII)]", true},
    {"    key1=default[4a7f2c9e51(HEX)]", true},
    {"    key2=default[8604213975318(ASCII)]", true},
    {"    key3=default[c0e5a19b7d3f268e4b90d1a7f2(HEX)]", true},
    {"        keyn: the key of WEP encryption, length based on keytype", true},
    {"    keytype=default[1:ASCII]", true},
    {"        [0]HEX: keyn length must be 5 or 13", true},
    {"        [1]ASCII: keyn length must be 10 or 26\n", true},
    {"WPA personal config:", true},
    {"    pairwise=default[3:AUTO]", true},
    {"        [0]NONE: Use only Group Keys, use in ad-hoc mode", true},
    {"        [1]TKIP: Temporal Key Integrity Protocol [IEEE 802.11i/D7.0]", true},
    {"        [2]CCMP: AES in Counter mode with CBC-MAC [RFC 3610, IEEE 802.11i/D7.0]", true},
    {"        [3]AUTO: TKIP+CCMP", true},
    {"    proto=default[2:AUTO]", false},
    {"        [0]WPA: [WPA] WPA-TKIP", true},
    {"        [1]RSN: [RSN] WPA2-AES/CCMP", true},
    {"        [2]AUTO: [WPA RSN] WPA-TKIP + WPA2-AES/CCMP\n", true},
    {"WPA EAP config:", true},
    {"        reserverd!\n", true},
    {"WPS config:", true},
    {"    wps=default[0:slave mode]", true},
    {"        [0]master mode: create pin code, then use Wi-Fi to connect IPC-wifi", true},
    {"        [1]PBC mode: PushButton Connection mode", true},
    {"        [2]slave mode: use Wi-Fi pin code and AP name to connect to Wi-Fi", true},
    {"        apname=default[Vardemoor-Test]", true},
    {"            apname: It's used to get Wi-Fi MAC to run WPS", true},
    {"        pincode=default[58203917]", true},
    {"            pincode: Wi-Fi WPS pin code value!\n", true},
    {"WIFI use example:", false},
    {"Encryp=[0:OPEN], command line:", true},
    {"    1: manage mode", true},
    {"        debug -M wifi -e 0 -m 0 --ssid [...] ", true},
    {"    2: ad-hoc mode", true},
    {"        debug -M wifi -e 0 -m 1 -c [n(1-14)] --ssid [...] ", true},
    {"Encryp=[1:WEP], command line:", true},
    {"    1: manage mode", true},
    {"        debug -M wifi -e 1 -m 0 --ssid [...] --select 0 --key0 [...] ", true},
    {"    2: ad-hoc mode", true},
    {"        debug -M wifi -e 1 -m 1 -c [n(1-14)] --ssid [...] --select 0 --key0 [...] ", true},
    {"Encryp=[2:WPA-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"    4: ad-hoc mode + TKIP", true},
    {"        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  1 ", true},
    {"    5: ad-hoc mode + CCMP/AES", true},
    {"        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  0 ", true},
    {"Encryp=[3:WPA2-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"Encryp=[4:WPA+WPA2-PSK], command line:", true},
    {"    1: manage mode + TKIP", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 1 ", true},
    {"    2: manage mode + CCMP/AES", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 2 ", true},
    {"    3: manage mode + TKIP+CCMP/AES", true},
    {"        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 3 ", true},
    {"Encryp=[8:WPS], command line:", true},
    {"    1: master mode, use Wi-Fi to connect IPC-wifi", true},
    {"        debug -M wifi --wps 0 ", true},
    {"    2: PushButton mode, use Wi-Fi WPS-Button and IPC WPS-Button", true},
    {"        debug -M wifi --wps 1 ", true},
    {"    3: slave mode, IPC-wifi connect to Wi-Fi", true},
    {"        debug -M wifi --wps 2 --apname [...] --pincode [...] ", true},
};

// The names -e takes, compared in this order; -1 leaves a field unchanged.
struct EncrypName {
    const char* upper;
    const char* lower;
    int encryp;
    int group;
    int auth_alg;
};
const EncrypName kEncrypNames[] = {
    {"WPA-PSK", "wpa-psk", kEncrypWpaPsk, 1, -1},
    {"WPA2-PSK", "wpa2-psk", kEncrypWpa2Psk, 0, -1},
    {"WPA+WPA2-PSK", "wpa+wpa2-psk", kEncrypWpaWpa2Psk, 5, -1},
    {"WEP40-OPEN", "wep40-open", kEncrypWep, 3, 0},
    {"WEP40-SHARED", "wep40-shared", kEncrypWep, 3, 1},
    {"WEP104-OPEN", "wep104-open", kEncrypWep, 2, 0},
    {"WEP104-SHARED", "wep104-shared", kEncrypWep, 2, 1},
    {"OPEN", "open", kEncrypOpen, -1, -1},
};

// The options that set one number of the record within bounds; -m and -e
// take their names first.
struct WifiNumber {
    int option;
    int32_t WifiConfig::*field;
    uint32_t low;
    uint32_t high;
    const char* message;  // printed with the two bounds
};
const WifiNumber kNumbers[] = {
    {'m', &WifiConfig::mode, 0, 1, "Error wifi mode, must be[%d-%d]\n"},
    {'e', &WifiConfig::encryp, 0, 8, "Error wifi encryption, must be[%d-%d]\n"},
    {'c', &WifiConfig::channel, 1, 14, "Error wifi freq, must be[%d-%d]\n"},
    {kOptAuthAlg, &WifiConfig::auth_alg, 0, 2, "Error wifi auth_alg, must be[%d-%d]\n"},
    {kOptKeyMgmt, &WifiConfig::key_mgmt, 0, 5, "Error wifi key_mgmt, must be[%d-%d]\n"},
    {kOptGroup, &WifiConfig::group, 0, 6, "Error wifi group, must be[%d-%d]\n"},
    {kOptKeytype, &WifiConfig::keytype, 0, 1, "Error wifi wep keyType, must be [%d-%d]\n"},
    {kOptPairwise, &WifiConfig::pairwise, 0, 3, "Error wifi wpa pairwise, must be [%d-%d]\n"},
    {kOptProto, &WifiConfig::proto, 0, 2, "Error wifi wpa proto, must be [%d-%d]\n"},
};

// The WEP keys by option; a key's message names it by its place here.
struct WepKey {
    int option;
    char (WifiConfig::*field)[sizeof WifiConfig::key0];
};
const WepKey kWepKeys[] = {
    {kOptKey0, &WifiConfig::key0},
    {kOptKey1, &WifiConfig::key1},
    {kOptKey2, &WifiConfig::key2},
    {kOptKey3, &WifiConfig::key3},
};

void wifi_usage()
{
    module_usage_print(kWifiId, kOptions, kHelp, std::size(kHelp));
    for (const UsageLine& l : kUsageText)
        print(l.ends_line ? "%s\n" : "%s", l.text);
}

// Every option error is reported in the name of the option loop, whichever
// helper met it.
constexpr ErrorSite kSite{__FILE_NAME__, "wifi_init_param"};

// A refused option ends the process: nothing half-configured reaches the
// library.
#define WIFI_REFUSE(...)                 \
    do {                                 \
        SITE_ERR(kSite, __VA_ARGS__);    \
        module_refuse(wifi_usage);       \
    } while (0)

void wifi_set_number(int option, const char* text)
{
    for (const WifiNumber& n : kNumbers) {
        if (n.option != option)
            continue;
        if (!OPT_BOUNDED(kSite, text, n.low, n.high, &(g_cfg.*n.field), n.message,
                         static_cast<int>(n.low), static_cast<int>(n.high)))
            module_refuse(wifi_usage);
        return;
    }
}

void wifi_set_encryp(const char* text)
{
    g_apply = 1;
    for (const EncrypName& n : kEncrypNames) {
        if (strcmp(text, n.upper) == 0 || strcmp(text, n.lower) == 0) {
            g_cfg.encryp = n.encryp;
            if (n.group >= 0)
                g_cfg.group = n.group;
            if (n.auth_alg >= 0)
                g_cfg.auth_alg = n.auth_alg;
            return;
        }
    }
    wifi_set_number('e', text);
}

// Copies an option's text into its field when its length is within
// [low, high]. A text the field would cut is refused as well: a cut network
// name joins another network.
template <size_t N>
void wifi_set_text(char (&field)[N], const char* text, size_t low, size_t high, const char* message)
{
    size_t n = strlen(text);
    if (n < low || n > high || n >= N)
        WIFI_REFUSE("%s", message);
    copy_bounded(field, N, text);
}

void wifi_set_key(int option, const char* text)
{
    for (size_t i = 0; i < std::size(kWepKeys); ++i) {
        if (kWepKeys[i].option != option)
            continue;
        size_t n = strlen(text);
        if (n != 5 && n != 10 && n != 13 && n != 26)
            WIFI_REFUSE("Error wifi wep key%zu, must be [5,10,13,26]\n", i);
        copy_bounded(g_cfg.*kWepKeys[i].field, sizeof g_cfg.key0, text);
        return;
    }
}

void wifi_wps(const char* text)
{
    uint32_t n = 0;
    if (!OPT_BOUNDED(kSite, text, 0, 2, &n, "Error WPS type must be [%d-%d]!\n", 0, 2))
        module_refuse(wifi_usage);
    g_cfg.encryp = kEncrypWps;
    g_cfg.wps = static_cast<uint8_t>(n);
    if (n == 0) {
        char pin[9] = {};
        wifi_wps_get_pin(pin);
        pin[sizeof pin - 1] = '\0';
        print("Get IPC-wifi pin code = %s \n", pin);
        return;
    }
    if (n == 1)
        g_cfg.pbc = 1;
    else
        g_cfg.pin = 1;
    g_apply = 1;
}

void wifi_link()
{
    int s = wifi_get_status();
    print("%s\n", s == 0 ? "Wifi link down!" : s == 1 ? "Wifi link up!" : "Wifi can't check link status!");
    wifi_print_status();
}

// Options in command-line order; actions run at once with the record so far.
// A refused option ends the process.
void wifi_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        switch (c) {
        case 'm':
            if (strcmp(optarg, "ad-hoc") == 0 || strcmp(optarg, "AD-HOC") == 0)
                g_cfg.mode = 1;
            else if (strcmp(optarg, "managed") == 0 || strcmp(optarg, "MANAGED") == 0)
                g_cfg.mode = 0;
            else
                wifi_set_number(c, optarg);
            break;
        case 'e':
            wifi_set_encryp(optarg);
            break;
        case 'c': case kOptAuthAlg: case kOptKeyMgmt: case kOptGroup: case kOptKeytype:
        case kOptPairwise: case kOptProto:
            wifi_set_number(c, optarg);
            break;
        case kOptSsid:
            if (optarg[0] == '\0')
                WIFI_REFUSE("Error wifi ssid length, must > 0!\n");
            wifi_set_text(g_cfg.ssid, optarg, 1, 127, "Error wifi ssid length, must be [1-127]\n");
            break;
        case kOptSelect: {
            uint32_t value = 0;
            if (!opt_u32(optarg, &value))
                module_refuse(wifi_usage);
            // Only the low byte is kept: 256 selects key 0.
            g_cfg.select = static_cast<uint8_t>(value);
            if (g_cfg.select > 3)
                WIFI_REFUSE("Error wifi wep index, must be [0-3]\n");
            break;
        }
        case kOptKey0: case kOptKey1: case kOptKey2: case kOptKey3:
            wifi_set_key(c, optarg);
            break;
        case kOptPsk:
            wifi_set_text(g_cfg.psk, optarg, 8, 63, "Error wifi wpa psk_key length, must be [8-63]\n");
            break;
        case kOptWps:
            wifi_wps(optarg);
            break;
        case kOptApname:
            wifi_set_text(g_cfg.apname, optarg, 1, 63, "Error wifi WPS PinAP SSID length, must be [1-63]\n");
            break;
        case kOptPincode:
            wifi_set_text(g_cfg.pincode, optarg, 8, 8, "Error wifi WPS PinAP PinCode length, must be 8\n");
            break;
        case kOptScan:
            wifi_info_list_delete(wifi_info_scan(g_cfg.mode));
            break;
        case kOptStatus:
            wifi_print_config();
            break;
        case kOptLink:
            wifi_link();
            break;
        }
    }
    if (c != 0)
        module_refuse(wifi_usage);
}

int wifi_test_main(int argc, char** argv)
{
    wifi_init_param(argc, argv);
    wifi_derive_fields(&g_cfg);
    if (g_apply && wifi_config(&g_cfg) != 0)
        ERR_PRINT("wifi config has error!\n");
    return 0;
}

}  // namespace

void wifi_derive_fields(WifiConfig* c)
{
    switch (c->encryp) {
    case kEncrypWep: {
        const char* keys[] = {c->key0, c->key1, c->key2, c->key3};
        if (c->select > 3)
            break;
        switch (strnlen(keys[c->select], sizeof c->key0)) {
        case 5: c->group = 3; c->keytype = 1; break;
        case 10: c->group = 3; c->keytype = 0; break;
        case 13: c->group = 2; c->keytype = 1; break;
        case 26: c->group = 2; c->keytype = 0; break;
        default: break;
        }
        break;
    }
    case kEncrypWpaPsk:
    case kEncrypWpa2Psk:
    case kEncrypWpaWpa2Psk:
        c->proto = c->encryp - kEncrypWpaPsk;
        c->group = c->pairwise == 1 ? 1 : c->pairwise == 2 ? 0 : 5;
        break;
    default:
        break;
    }
}

REGISTER_MODULE(wifi, kWifiId, wifi_test_main, wifi_usage, nullptr, kShortOptions, kOptions)
