// vd_wifi.h — the fields of a Wi-Fi configuration that follow from others.
#pragma once

#include "vdwifi.h"

// Sets, by the encryption type, what the others imply: for WEP the group
// cipher and key form from the length of the selected key; for the WPA/WPA2
// personal types the protocol, and the group cipher from the pairwise one.
void wifi_derive_fields(WifiConfig* c);
