// osa_net.h — IPv4 configuration of a network interface: addresses, netmask,
// gateway route and the DHCP client.
#pragma once

#include <stddef.h>
#include <stdint.h>

// 1 for a dotted quad of four decimal numbers 0..255, else 0. Exported for
// the camera's other programs.
extern "C" int CheckIPAddr(const char* text);

// The four numbers of a text CheckIPAddr accepts, read as decimal (leading
// zeros included); false for any other text.
bool net_parse_quad(const char* text, uint8_t out[4]);

int net_get_ifaddr(const char* ifname, char* buf, int size);
int net_set_ifaddr(const char* ifname, const char* text);
int net_get_netmask(const char* ifname, char* buf, int size);
int net_set_netmask(const char* ifname, const char* text);
int net_get_gateway(const char* ifname, char* buf, int size);
int net_set_gateway(const char* ifname, const char* text);
void net_del_gateway(uint32_t gw);  // network byte order
int net_add_gateway(uint32_t gw);
int net_set_dhcp(const char* ifname, const char* hostname);

// One line of /proc/net/route after its header.
struct RouteLine {
    char ifname[16];
    uint32_t destination;  // network byte order, as the kernel prints it
    uint32_t gateway;
    unsigned flags;
};
bool net_parse_route_line(const char* line, RouteLine* out);
// Whether the line is a gateway route (up, through a gateway) of ifname.
bool net_is_gateway_route(const RouteLine& r, const char* ifname);

// The DHCP client's command line for ifname and hostname, cut to fit size
// (at most 128) without ever leaving the host name's quotes open.
void net_dhcp_command(char* out, size_t size, const char* ifname, const char* hostname);

// Whether a /proc/PID/stat line is that of a live process called name: a
// zombie has let go of everything it held.
bool net_stat_is_live(const char* stat, const char* name);
// Waits until no process called name lives, at most ms; whether none does.
bool net_wait_ended(const char* name, unsigned ms);
// Removes every IPv4 address of ifname.
void net_clear_ifaddr(const char* ifname);
