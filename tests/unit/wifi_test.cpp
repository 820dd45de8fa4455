// The Wi-Fi fields that follow from the encryption type.
#include <gtest/gtest.h>
#include <string.h>

#include "vd_wifi.h"

namespace {

WifiConfig config(int encryp, int select = 0, int pairwise = 3)
{
    WifiConfig c{};
    c.encryp = encryp;
    c.select = static_cast<uint8_t>(select);
    c.pairwise = pairwise;
    c.group = 9;  // marks "unchanged"
    c.keytype = 9;
    c.proto = 9;
    strcpy(c.key0, "53917");
    strcpy(c.key1, "4a7f2c9e51");
    strcpy(c.key2, "8604213975318");
    strcpy(c.key3, "c0e5a19b7d3f268e4b90d1a7f2");
    return c;
}

TEST(WifiFields, DerivedByEncryption)
{
    struct Case {
        WifiConfig in;
        int group, keytype, proto;
    };
    WifiConfig odd_key = config(1, 3);
    strcpy(odd_key.key3, "1234567");
    const Case cases[] = {
        // WEP: by the length of the selected key.
        {config(1, 0), 3, 1, 9},
        {config(1, 1), 3, 0, 9},
        {config(1, 2), 2, 1, 9},
        {config(1, 3), 2, 0, 9},
        {odd_key, 9, 9, 9},
        // WPA personal: protocol by type, group cipher by pairwise cipher.
        {config(2, 0, 1), 1, 9, 0},
        {config(3, 0, 2), 0, 9, 1},
        {config(4, 0, 3), 5, 9, 2},
        {config(2, 0, 0), 5, 9, 0},
        // Open, enterprise and WPS: nothing follows.
        {config(0), 9, 9, 9},
        {config(5), 9, 9, 9},
        {config(8), 9, 9, 9},
    };
    for (const Case& k : cases) {
        WifiConfig c = k.in;
        wifi_derive_fields(&c);
        EXPECT_EQ(c.group, k.group) << "encryp " << k.in.encryp << " select " << int(k.in.select);
        EXPECT_EQ(c.keytype, k.keytype) << "encryp " << k.in.encryp << " select " << int(k.in.select);
        EXPECT_EQ(c.proto, k.proto) << "encryp " << k.in.encryp << " pairwise " << k.in.pairwise;
    }
}

}  // namespace
