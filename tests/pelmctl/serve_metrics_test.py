"""The control room read by a monitoring system: /metrics in the Prometheus
text format that `promtool check metrics` accepts, the shipped alert rules
passing `promtool test rules`, and a real Prometheus, started here on
loopback, scraping `pelmctl serve` and answering with the boards' verdicts.
Needs Debian's prometheus package (scripts/install-deps)."""

import hashlib
import json
import pathlib
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

from venue_folder import Server, Venue

HERE = pathlib.Path(__file__).resolve().parent
RACES = [("10:00:00", "10:20:00", "第1レース")]


def board_id(host, folder):
    """The board label the control room gives a board: a digest of its host
    and folder, the same on every scrape."""
    return hashlib.sha256(f"{host}\n{folder}".encode()).hexdigest()[:12]


def get(url):
    with urllib.request.urlopen(url, timeout=10) as answer:
        return answer.read().decode()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class ServeMetrics(unittest.TestCase):
    def setUp(self):
        self.venue = Venue()
        self.addCleanup(self.venue.close)
        self.venue.put("pc-1-a.json", "pc-1", RACES, name="パドック", read_ms=40)
        self.venue.put("pc-2-b.json", "pc-2", RACES, error="table locked", name='記者室 "B"')
        self.venue.put("pc-3-c.json", "pc-3", RACES, state="stopped", fresh=False)
        # Two boards on one PC, neither named: two series all the same.
        self.venue.put("pc-4-d.json", "pc-4", RACES, folder="/home/pc-4/hall")
        self.venue.put("pc-4-e.json", "pc-4", RACES, folder="/home/pc-4/gate", error="disk full")
        (self.venue.folder / "expected-boards.txt").write_text("パドック\nゴール\n")
        self.server = Server(self.venue.folder)
        self.addCleanup(self.server.stop)

    def test_metrics_are_the_prometheus_text_format(self):
        text = get(self.server.url + "metrics")
        checked = subprocess.run(["promtool", "check", "metrics"], input=text,
                                 capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        paddock = board_id("pc-1", "/home/pc-1/pelm")
        self.assertIn(f'pelm_board_verdict{{name="パドック",host="pc-1",board="{paddock}",'
                      'verdict="error"} 0', text)
        self.assertIn(f'pelm_board_trouble{{name="記者室 \\"B\\"",host="pc-2",'
                      f'board="{board_id("pc-2", "/home/pc-2/pelm")}"}} 1', text)
        self.assertRegex(text, r'pelm_board_verdict\{name="ゴール",host="",board="[0-9a-f]{12}",'
                               r'verdict="missing"\} 1')
        self.assertIn(f'pelm_board_data_read_seconds{{name="パドック",host="pc-1",board="{paddock}"}} '
                      '0.04', text)
        self.assertIn(f'pelm_board_data_read_slowest_seconds{{name="パドック",host="pc-1",'
                      f'board="{paddock}"}} 0.12', text)
        self.assertIn("pelm_venue_folder_answering 1", text)
        self.assertIn('pelm_venue_copies{kind="read"} 5', text)
        trouble = [line.rsplit(" ", 1)[0] for line in text.splitlines()
                   if line.startswith("pelm_board_trouble{")]
        self.assertEqual(len(trouble), 6)
        self.assertEqual(len(set(trouble)), 6, "every series its own")

    def test_the_shipped_alert_rules_fire_on_a_board_in_trouble_for_a_minute(self):
        tested = subprocess.run(["promtool", "test", "rules", "pelm_alerts_test.yml"], cwd=HERE,
                                capture_output=True, text=True)
        self.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)

    def test_a_real_prometheus_scrapes_the_boards_verdicts(self):
        storage = pathlib.Path(tempfile.mkdtemp(prefix="pelm-prometheus-"))
        self.addCleanup(shutil.rmtree, storage, ignore_errors=True)
        (storage / "prometheus.yml").write_text(
            "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
            "scrape_configs:\n"
            f"  - job_name: pelm-venue\n    static_configs: [{{targets: ['127.0.0.1:{self.server.port}']}}]\n")
        port = free_port()
        prometheus = subprocess.Popen(
            ["prometheus", f"--config.file={storage / 'prometheus.yml'}",
             f"--storage.tsdb.path={storage / 'data'}", f"--web.listen-address=127.0.0.1:{port}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(prometheus.wait, 20)
        self.addCleanup(prometheus.terminate)
        query = urllib.parse.quote('pelm_board_verdict == 1')
        deadline = time.monotonic() + 60
        verdicts = {}
        while time.monotonic() < deadline and len(verdicts) < 6:
            time.sleep(1)
            try:
                answer = json.loads(get(f"http://127.0.0.1:{port}/api/v1/query?query={query}"))
            except OSError:
                continue  # not up yet
            verdicts = {(sample["metric"]["name"], sample["metric"]["board"]):
                        sample["metric"]["verdict"] for sample in answer["data"]["result"]}
        verdicts_of = {}
        for (name, _), verdict in sorted(verdicts.items()):
            verdicts_of.setdefault(name, []).append(verdict)
        verdicts = {name: found[0] if len(found) == 1 else sorted(found)
                    for name, found in verdicts_of.items()}
        self.assertEqual(len(verdicts["pc-4"]), 2, "both boards of one PC kept")
        self.assertIn("error", verdicts["pc-4"])
        self.assertEqual(verdicts["記者室 \"B\""], "error")
        self.assertEqual(verdicts["ゴール"], "missing")
        self.assertEqual(verdicts["pc-3"], "stopped")
        self.assertIn(verdicts["パドック"], ("checking", "fine"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
