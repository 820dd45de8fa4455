"""wifi: the record handed to the library, the bounds, the actions in order."""
import unittest

from camtest import EXIT_CALLS, CameraTest, err, golden

USAGE = golden("wifi_usage.txt")
DEFAULTS = {
    "ssid": '"Vardemoor-Test"', "mode": 0, "channel": 2442, "key_mgmt": 2, "auth_alg": 0,
    "group": 5, "encryp": 8, "select": 0, "key0": '"53917"', "key1": '"4a7f2c9e51"',
    "key2": '"8604213975318"', "key3": '"c0e5a19b7d3f268e4b90d1a7f2"', "keytype": 1,
    "pairwise": 3, "proto": 2, "psk": '"quillmere"', "wps": 1, "pbc": 1, "pin": 0,
    "apname": '"Vardemoor-Test"', "pincode": '"58203917"',
}
SCAN_HEAD = "bssid / frequency / signal level / flags / ssid\n"
MANAGED_APS = ("02:00:5e:10:00:01\t2412\t-41\t[WPA2-PSK-CCMP][ESS]\tVardemoor-Test\n"
               "02:00:5e:10:00:02\t2437\t-67\t[WPA-PSK-TKIP][WPA2-PSK-CCMP][ESS][WPS]\tworkshop\n"
               "02:00:5e:10:00:03\t2462\t-80\t[WEP][ESS]\tstoreroom\n")
ADHOC_APS = "02:00:5e:10:00:04\t2442\t-58\t[IBSS]\tbench-adhoc\n"


def config_call(**fields):
    record = dict(DEFAULTS, **{k: (f'"{v}"' if isinstance(v, str) else v) for k, v in fields.items()})
    return "wifi_config({" + ", ".join(f"{k}={v}" for k, v in record.items()) + "})"


def refused(message):
    return err("vd_wifi", "wifi_init_param", message)


class Wifi(CameraTest):
    def setUp(self):
        super().setUp()
        self.cam.debug("-M", "nosuch")  # the camera root exists
        for name in ("link", "config", "config_result"):
            (self.cam.root / "vdsim" / "wifi" / name).unlink(missing_ok=True)
        self.cam.trace()

    def state(self, name, text):
        (self.cam.root / "vdsim" / "wifi" / name).write_text(text)

    def test_fields_handed_to_the_library(self):
        cases = [
            ([], None),
            (["-m", "0", "--ssid", "X"], None),
            (["--wps", "0"], None),
            (["-e", "wpa2-psk", "--pairwise", "2"], dict(encryp=3, proto=1, group=0, pairwise=2)),
            (["-e", "WPA-PSK"], dict(encryp=2, proto=0, group=5)),
            (["-e", "0x3"], dict(encryp=3, proto=1, group=5)),
            (["-e", "1", "--select", "2"], dict(encryp=1, select=2, group=2, keytype=1)),
            (["-e", "1", "--select", "2", "--key2", "0123456789abcdef0123456789"],
             dict(encryp=1, select=2, key2="0123456789abcdef0123456789", group=2, keytype=0)),
            (["--key2", "abcde", "-e", "1", "--select", "2"],
             dict(encryp=1, select=2, key2="abcde", group=3, keytype=1)),
            (["-e", "WEP104-SHARED", "--select", "256"], dict(encryp=1, group=3, keytype=1, auth_alg=1)),
            (["-e", "wep104-open", "--select", "3"], dict(encryp=1, select=3, group=2, keytype=0)),
            (["-e", "open", "-m", "ad-hoc", "-c", "6"], dict(encryp=0, mode=1, channel=6)),
            (["--channel", "14", "-m", "MANAGED", "-e", "OPEN", "--ssid", "s" * 127],
             dict(encryp=0, channel=14, ssid="s" * 127)),
            (["-e", "4", "--psk", "p" * 63], dict(encryp=4, psk="p" * 63)),
            (["--auth_alg", "2", "--key_mgmt", "5", "--group", "6", "--keytype", "0", "--proto", "1",
              "-e", "5"], dict(encryp=5, auth_alg=2, key_mgmt=5, group=6, keytype=0, proto=1)),
            (["--wps", "2", "--apname", "lab-ap", "--pincode", "12345678"],
             dict(wps=2, pin=1, apname="lab-ap", pincode="12345678")),
            (["-e", "2", "--wps", "1"], dict(encryp=8)),
        ]
        for args, fields in cases:
            with self.subTest(args=args):
                r = self.cam.debug("-M", "wifi", *args)
                stdout = "Get IPC-wifi pin code = 12345670 \n" if args == ["--wps", "0"] else ""
                self.check(r, stdout)
                calls = [config_call(**fields)] if fields is not None else []
                trace = [t for t in self.cam.trace() if t.startswith("wifi_config")]
                self.assertEqual(trace, calls)

    def test_refused_option_ends_the_run_before_the_library(self):
        cases = [
            (["-c", "0"], "Error wifi freq, must be[1-14]\n"),
            (["-e", "1", "-c", "15"], "Error wifi freq, must be[1-14]\n"),
            (["-e", "9"], "Error wifi encryption, must be[0-8]\n"),
            (["-e", "wpa3"], "invalid number: wpa3\n"),
            (["-m", "2"], "Error wifi mode, must be[0-1]\n"),
            (["-m", "-1"], "Error wifi mode, must be[0-1]\n"),
            (["--auth_alg", "3"], "Error wifi auth_alg, must be[0-2]\n"),
            (["--key_mgmt", "6"], "Error wifi key_mgmt, must be[0-5]\n"),
            (["--group", "7"], "Error wifi group, must be[0-6]\n"),
            (["--ssid", ""], "Error wifi ssid length, must > 0!\n"),
            (["-e", "0", "--ssid", "s" * 128], "Error wifi ssid length, must be [1-127]\n"),
            (["--select", "4"], "Error wifi wep index, must be [0-3]\n"),
            (["--key1", "123456789"], "Error wifi wep key1, must be [5,10,13,26]\n"),
            (["--key3", "k" * 40], "Error wifi wep key3, must be [5,10,13,26]\n"),
            (["--keytype", "2"], "Error wifi wep keyType, must be [0-1]\n"),
            (["--pairwise", "4"], "Error wifi wpa pairwise, must be [0-3]\n"),
            (["--proto", "3"], "Error wifi wpa proto, must be [0-2]\n"),
            (["--psk", "1234567"], "Error wifi wpa psk_key length, must be [8-63]\n"),
            # Lengths are of the text as given, not of what the field would keep.
            (["--psk", "1" * 64], "Error wifi wpa psk_key length, must be [8-63]\n"),
            (["--psk", "p" * 100], "Error wifi wpa psk_key length, must be [8-63]\n"),
            (["--wps", "3"], "Error WPS type must be [0-2]!\n"),
            (["--apname", ""], "Error wifi WPS PinAP SSID length, must be [1-63]\n"),
            (["--apname", "a" * 64], "Error wifi WPS PinAP SSID length, must be [1-63]\n"),
            (["--pincode", "123456789"], "Error wifi WPS PinAP PinCode length, must be 8\n"),
            (["--wps", "1", "--nope"], "Unknow option\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                r = self.cam.debug("-M", "wifi", *args)
                prefix = "debug: unrecognized option '--nope'\n" if "--nope" in args else ""
                self.check(r, USAGE, prefix + refused(message), 255)
                self.assertEqual(self.cam.trace(), [])

    def test_actions_run_at_once_in_order(self):
        cases = [
            (["--scan", "-m", "1"], SCAN_HEAD + MANAGED_APS,
             ["wifi_info_scan(0)", "wifi_info_list_delete(3)"]),
            (["-m", "1", "--scan"], SCAN_HEAD + ADHOC_APS,
             ["wifi_info_scan(1)", "wifi_info_list_delete(1)"]),
        ]
        for args, stdout, trace in cases:
            with self.subTest(args=args):
                self.check(self.cam.debug("-M", "wifi", *args), stdout)
                self.assertEqual(self.cam.trace(), trace + EXIT_CALLS)
        # An action before a refused option has run; nothing is configured.
        r = self.cam.debug("-M", "wifi", "-e", "2", "--scan", "-c", "0")
        self.check(r, SCAN_HEAD + MANAGED_APS + USAGE, refused("Error wifi freq, must be[1-14]\n"), 255)
        self.assertEqual(self.cam.trace(), ["wifi_info_scan(0)", "wifi_info_list_delete(3)"])

    def test_link_pin_and_status(self):
        for link, line, state in (("0", "Wifi link down!", "wpa_state=DISCONNECTED\n"),
                                  ("1", "Wifi link up!", "wpa_state=COMPLETED\n"),
                                  ("2", "Wifi can't check link status!", "wpa_state=INTERFACE_DISABLED\n")):
            with self.subTest(link=link):
                self.state("link", link)
                r = self.cam.debug("-M", "wifi", "--link")
                self.check(r, f"{line}\ninterface=wlan0\n{state}")
                self.assertEqual(self.cam.trace(), ["wifi_get_status()", "wifi_print_status()"] + EXIT_CALLS)
        self.state("pin", "87654321\n")
        self.check(self.cam.debug("-M", "wifi", "--wps", "0"), "Get IPC-wifi pin code = 87654321 \n")
        # The library keeps what was applied and shows it.
        self.check(self.cam.debug("-M", "wifi", "-e", "wpa-psk", "--ssid", "lab", "--pairwise", "1"))
        self.state("config_result", "-3")
        self.check(self.cam.debug("-M", "wifi", "-e", "0", "--ssid", "other"), "",
                   err("vd_wifi", "wifi_test_main", "wifi config has error!\n"))
        r = self.cam.debug("-M", "wifi", "--status", "-e", "0")
        self.assertTrue(r.stdout.startswith("ssid=lab\nmode=0\nchannel=2442\nkey_mgmt=2\nauth_alg=0\n"
                                            "group=1\nencryp=2\n"), r.stdout)
        self.assertEqual(r.stderr, err("vd_wifi", "wifi_test_main", "wifi config has error!\n"))
        self.assertEqual(len(r.stdout.splitlines()), 21)


if __name__ == "__main__":
    unittest.main()
