/* vdwifi.h — the camera's Wi-Fi library (libvdwifi.so). */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One configuration of the wireless interface. Texts are NUL-terminated and
 * NUL-padded; integers little-endian. */
typedef struct WifiConfig {
    char ssid[128];
    int32_t mode;      /* 0 managed, 1 ad-hoc */
    int32_t channel;   /* 1-14, or the frequency 2442 (MHz) */
    int32_t key_mgmt;  /* 0 NONE, 1 IEEE8021X, 2 WPA-PSK, 3 WPA-EAP, 4 WPA-NONE, 5 ALL */
    int32_t auth_alg;  /* 0 OPEN, 1 shared key, 2 LEAP */
    int32_t group;     /* group cipher, 0-6 */
    int32_t encryp;    /* 0 open, 1 WEP, 2-4 WPA/WPA2 PSK, 5-7 EAP, 8 WPS */
    uint8_t select;    /* WEP key in use, 0-3 */
    char key0[32];
    char key1[32];
    char key2[32];
    char key3[32];
    uint8_t reserved0[3];
    int32_t keytype;   /* WEP key form: 0 HEX, 1 ASCII */
    int32_t pairwise;  /* 0 NONE, 1 TKIP, 2 CCMP, 3 AUTO */
    int32_t proto;     /* 0 WPA, 1 RSN, 2 AUTO */
    char psk[64];
    uint8_t wps;       /* 0 PIN from the camera, 1 push button, 2 PIN with a named AP */
    uint8_t pbc;       /* push-button connection requested */
    uint8_t pin;       /* PIN connection requested */
    char apname[64];
    char pincode[10];
    uint8_t reserved1[3];
} WifiConfig;

/* The access points a scan found; owned by the library. */
typedef struct WifiApList WifiApList;

/* Applies a configuration; 0 on success. */
int wifi_config(const WifiConfig* config);
/* Scans in the given mode, prints what it found and returns the list. */
WifiApList* wifi_info_scan(int mode);
void wifi_info_list_delete(WifiApList* list);
/* Prints the configuration in use, one key=value line per field. */
int wifi_print_config(void);
/* 0 link down, 1 link up, anything else: cannot tell. */
int wifi_get_status(void);
void wifi_print_status(void);
/* Fills pin (at least 9 bytes) with the camera's WPS PIN as text. */
int wifi_wps_get_pin(char* pin);

#ifdef __cplusplus
}

static_assert(sizeof(WifiConfig) == 440, "WifiConfig layout");
static_assert(offsetof(WifiConfig, ssid) == 0, "WifiConfig layout");
static_assert(offsetof(WifiConfig, mode) == 128, "WifiConfig layout");
static_assert(offsetof(WifiConfig, channel) == 132, "WifiConfig layout");
static_assert(offsetof(WifiConfig, key_mgmt) == 136, "WifiConfig layout");
static_assert(offsetof(WifiConfig, auth_alg) == 140, "WifiConfig layout");
static_assert(offsetof(WifiConfig, group) == 144, "WifiConfig layout");
static_assert(offsetof(WifiConfig, encryp) == 148, "WifiConfig layout");
static_assert(offsetof(WifiConfig, select) == 152, "WifiConfig layout");
static_assert(offsetof(WifiConfig, key0) == 153, "WifiConfig layout");
static_assert(offsetof(WifiConfig, key1) == 185, "WifiConfig layout");
static_assert(offsetof(WifiConfig, key2) == 217, "WifiConfig layout");
static_assert(offsetof(WifiConfig, key3) == 249, "WifiConfig layout");
static_assert(offsetof(WifiConfig, reserved0) == 281, "WifiConfig layout");
static_assert(offsetof(WifiConfig, keytype) == 284, "WifiConfig layout");
static_assert(offsetof(WifiConfig, pairwise) == 288, "WifiConfig layout");
static_assert(offsetof(WifiConfig, proto) == 292, "WifiConfig layout");
static_assert(offsetof(WifiConfig, psk) == 296, "WifiConfig layout");
static_assert(offsetof(WifiConfig, wps) == 360, "WifiConfig layout");
static_assert(offsetof(WifiConfig, pbc) == 361, "WifiConfig layout");
static_assert(offsetof(WifiConfig, pin) == 362, "WifiConfig layout");
static_assert(offsetof(WifiConfig, apname) == 363, "WifiConfig layout");
static_assert(offsetof(WifiConfig, pincode) == 427, "WifiConfig layout");
static_assert(offsetof(WifiConfig, reserved1) == 437, "WifiConfig layout");
#endif
