"""The ePass1000ND serial-number logon end to end, natively and over HTTPS: a SoftHSM2 token
stands in for the key (the certificate module reports the token's serial
number through PKCS#11), the simulator knows the key by that number and the
user's password, and the assistant logs on with it at each logon start."""

import os
import shutil
import subprocess
import tempfile
import unittest

from harness import Product, Simulator, is_page, load_scenario, wait_until

OPTIONS = {}
SOFTHSM = "/usr/lib/softhsm/libsofthsm2.so"
PASSWORD = "Quarn@123"  # zhangsan's, which the packet stores


def key_auth(record):
    return is_page("net_auth")(record) and record.get("params", {}).get("type") == "UKey"


@unittest.skipIf(not os.path.exists(SOFTHSM), "no SoftHSM2")
class KeySerialLogon(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if OPTIONS.get("wine"):
            raise unittest.SkipTest("the key is a PKCS#11 token of this machine: native only")
        cls.tokens = tempfile.mkdtemp(prefix="quarn-epass-")
        cls.addClassCleanup(shutil.rmtree, cls.tokens, ignore_errors=True)
        cls.conf = os.path.join(cls.tokens, "softhsm2.conf")
        with open(cls.conf, "w") as f:
            f.write(f"directories.tokendir = {cls.tokens}/tokens\nobjectstore.backend = file\n"
                    "log.level = ERROR\n")
        env = dict(os.environ, SOFTHSM2_CONF=cls.conf)
        os.makedirs(os.path.join(cls.tokens, "tokens"))
        subprocess.run(["softhsm2-util", "--init-token", "--free", "--label", "epass",
                        "--so-pin", "87654321", "--pin", "12345678"], env=env, check=True,
                       capture_output=True)
        slots = subprocess.run(["softhsm2-util", "--show-slots"], env=env, check=True,
                               capture_output=True, text=True).stdout
        cls.serial = next(line.split(":", 1)[1].strip() for line in slots.splitlines()
                          if "Serial number:" in line and line.split(":", 1)[1].strip())
        cls.product = Product(OPTIONS["bin"], wine=False)
        cls.addClassCleanup(cls.product.remove)
        cls.product.env["SOFTHSM2_CONF"] = cls.conf
        # Over HTTPS, as a deployment that carries passwords in its addresses should run.
        cls.sim = Simulator(OPTIONS["simulator"], cls.product.top, cls.product.bin_dir, https=True)
        scenario = load_scenario("sample.json", check_param={"AuthInterval": 0})
        scenario["serial_keys"] = [{"serial": cls.serial, "password": PASSWORD, "role_id": "7",
                                    "policy_id": "12"}]
        scenario["identity_policy"].update(DefaultAuthType="Ukey_ePass1000ND",
                                           AllowAuthType="User,Ukey,Ukey_ePass1000ND")
        cls.sim.start(scenario)
        cls.addClassCleanup(cls.sim.stop)  # also when setUpClass fails
        cls.addClassCleanup(cls.product.stop_assistants)
        cls.product.install_files()
        code, out = cls.product.install_packet(cls.sim, auth_type="Ukey_ePass1000ND")
        assert code == 0, out
        assert wait_until(lambda: cls.product.config().get("DeviceId") == "1001", 60), "not registered"
        cls.product.stop_assistants()
        cls.password = cls.product.config().get("Password", "")
        cls.product.quarnctl("config", "set", "Pkcs11Module", SOFTHSM)

    def logon(self):
        """One logon start; the key logon it sent (None: none within the time)."""
        self.product.stop_assistants()
        mark = self.sim.last_seq()
        self.product.start_assistant("-logon")
        return self.sim.wait_record(key_auth, mark, 60)

    def test_1_accepted_role_and_policy_stored(self):
        auth = self.logon()
        self.assertIsNotNone(auth, "no key logon reached the server")
        self.assertEqual((self.serial, True, "POST"),
                         (auth.get("user"), auth.get("accepted"), auth.get("method")))
        self.assertTrue(wait_until(lambda: self.product.config().get("RoleId") == "7", 30))
        self.assertEqual("12", self.product.config().get("PolicyId"))
        self.assertTrue(self.product.config().get("WebUrl", "").startswith("https://"))
        self.assertIn("server:      https, verified through the system trust store",
                      self.product.quarnctl("status")[1])

    def test_2_refused_with_another_password(self):
        self.product.quarnctl("config", "set", "Password", "d3Jvbmc:")  # "wrong"
        try:
            auth = self.logon()
            self.assertIsNotNone(auth)
            self.assertEqual((self.serial, False), (auth.get("user"), auth.get("accepted")))
            self.assertTrue(wait_until(lambda: self.product.config().get("RoleId") == "0", 30))
        finally:
            self.product.quarnctl("config", "set", "Password", self.password)

    def test_3_key_unplugged_sends_nothing(self):
        self.product.quarnctl("config", "set", "RoleId", "0")
        shutil.rmtree(os.path.join(self.tokens, "tokens"))
        os.makedirs(os.path.join(self.tokens, "tokens"))
        mark = self.sim.last_seq()
        self.product.stop_assistants()
        self.product.start_assistant("-logon")
        # The pass goes on to its policy requests; no key logon among them.
        self.assertTrue(self.sim.wait_record(lambda r: r["kind"] == "udp", mark, 60))
        self.assertIsNone(self.sim.wait_record(key_auth, mark, 10))
        self.assertNotEqual("7", self.product.config().get("RoleId"))
