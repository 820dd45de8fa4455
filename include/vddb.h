/* vddb.h — the camera's configuration store (libvddb.so): network, device,
   port, user and OEM records as fixed-size byte images. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { VDDB_IFACE_WIRED = 0, VDDB_IFACE_WIRELESS = 1 };

typedef struct NetworkRecord {
    uint8_t mode;      /* 0 static addressing, non-zero DHCP */
    uint8_t iface;     /* set before a read: 0 eth0, 1 wlan0 */
    char hostname[128];
    char ipaddr[64];
    char netmask[64];
    char gateway[64];
    char dns1[64];
    char dns2[64];
    uint8_t reserved[230];
} NetworkRecord;

typedef struct DeviceRecord {
    uint8_t reserved0[4];
    char title[128];
    char text1[32];
    char text2[32];
    char text3[32];
    uint8_t reserved1[32];
} DeviceRecord;

typedef struct OemDeviceRecord {
    uint8_t reserved0[388];
    char model[64];
    uint8_t reserved1[204];
} OemDeviceRecord;

typedef struct PortRecord {
    int32_t http;
    uint8_t reserved[32];
} PortRecord;

typedef struct UserRecord {
    char name[128];
    char password[64];
    uint8_t privilege;  /* 0 and 1 may change settings over the network */
    uint8_t reserved[393];
    uint8_t permission[262];  /* one byte per module: 1 = allowed */
} UserRecord;

int db_init(void);
int db_uninit(int flush);
int db_get_network(NetworkRecord* record);
int db_set_network(const NetworkRecord* record);
int db_get_device(DeviceRecord* record);
int db_set_device_title(const char* title);
int oem_get_device(OemDeviceRecord* record);
int oem_get_index(void);
int db_get_port(PortRecord* record);
int db_set_port_http(int port);
/* *list gets an array of *count records, to be freed with __vd_free. */
int db_get_users(UserRecord** list, int* count);
int db_set_user(const UserRecord* record);
int update_user_module_permission_by_privilege(int module, int privilege, void* area);

#ifdef __cplusplus
}

static_assert(sizeof(NetworkRecord) == 680, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, mode) == 0, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, iface) == 1, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, hostname) == 2, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, ipaddr) == 130, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, netmask) == 194, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, gateway) == 258, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, dns1) == 322, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, dns2) == 386, "NetworkRecord layout");
static_assert(offsetof(NetworkRecord, reserved) == 450, "NetworkRecord layout");

static_assert(sizeof(DeviceRecord) == 260, "DeviceRecord layout");
static_assert(offsetof(DeviceRecord, title) == 4, "DeviceRecord layout");
static_assert(offsetof(DeviceRecord, text1) == 132, "DeviceRecord layout");
static_assert(offsetof(DeviceRecord, text2) == 164, "DeviceRecord layout");
static_assert(offsetof(DeviceRecord, text3) == 196, "DeviceRecord layout");
static_assert(offsetof(DeviceRecord, reserved1) == 228, "DeviceRecord layout");

static_assert(sizeof(OemDeviceRecord) == 656, "OemDeviceRecord layout");
static_assert(offsetof(OemDeviceRecord, model) == 388, "OemDeviceRecord layout");
static_assert(offsetof(OemDeviceRecord, reserved1) == 452, "OemDeviceRecord layout");

static_assert(sizeof(PortRecord) == 36, "PortRecord layout");
static_assert(offsetof(PortRecord, http) == 0, "PortRecord layout");
static_assert(offsetof(PortRecord, reserved) == 4, "PortRecord layout");

static_assert(sizeof(UserRecord) == 848, "UserRecord layout");
static_assert(offsetof(UserRecord, name) == 0, "UserRecord layout");
static_assert(offsetof(UserRecord, password) == 128, "UserRecord layout");
static_assert(offsetof(UserRecord, privilege) == 192, "UserRecord layout");
static_assert(offsetof(UserRecord, reserved) == 193, "UserRecord layout");
static_assert(offsetof(UserRecord, permission) == 586, "UserRecord layout");
#endif
