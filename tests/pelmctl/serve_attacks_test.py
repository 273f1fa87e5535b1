"""The control room on the venue's network, under one laptop's attack at a
time (pipelined requests whose answers nobody reads, heads that trickle in,
a flood of connections that say nothing), each from an address of its own:
a normal client beside it keeps being answered, and the server's memory
stays under its bound. How fast it is answered is for bench/serve_attacks.
"""

import pathlib
import sys
import time
import unittest

from venue_folder import BUILD, Server, Venue, png

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))
from venue_attacks import ATTACKS, Attack, normal_request, resident_kib  # noqa: E402

RACES = [("10:00:00", "10:20:00", "第1レース")]
ATTACK_SECONDS = 8
# The README's bound on the server's memory, whatever its clients do. A
# sanitizer build keeps freed memory aside on purpose and measures nothing
# of the server's own: its run checks the answers only.
MEMORY_BOUND_KIB = 150 * 1024
SANITIZED = "PELM_SANITIZE:BOOL=ON" in (BUILD / "CMakeCache.txt").read_text()


class ServeAttacks(unittest.TestCase):
    def setUp(self):
        self.venue = Venue()
        self.addCleanup(self.venue.close)
        for board in range(8):
            name = f"pc-{board}-a"
            (self.venue.folder / f"{name}.png").write_bytes(png(480, 324, (board * 20, 90, 0)))
            self.venue.put(f"{name}.json", f"pc-{board}", RACES, picture=f"{name}.png")
        self.server = Server(self.venue.folder)
        self.addCleanup(self.server.stop)

    def test_a_normal_client_is_answered_under_each_attack_and_memory_stays_bounded(self):
        for name in ATTACKS:
            with self.subTest(attack=name):
                attack = Attack(name, self.server.port)
                try:
                    answered, peak = self.serve_normally_for(ATTACK_SECONDS)
                finally:
                    attack.stop()
                self.assertTrue(answered)
                self.assertTrue(all(status == 200 for status in answered), answered)
                if not SANITIZED:
                    self.assertLess(peak, MEMORY_BOUND_KIB)
        self.assertIsNone(self.server.process.poll(), "the server ended")

    def serve_normally_for(self, seconds):
        """A browser's requests every 100 ms: their statuses, and the
        server's peak memory meanwhile (KiB)."""
        statuses, peak = [], 0
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            status, _ = normal_request(self.server.port)
            statuses.append(status)
            peak = max(peak, resident_kib(self.server.process.pid))
            time.sleep(0.1)
        return statuses, peak


if __name__ == "__main__":
    unittest.main(verbosity=2)
