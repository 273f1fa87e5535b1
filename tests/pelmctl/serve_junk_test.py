"""Junk in the status folder hides no board: two boards that keep writing
their copies beside 64, then 1,000 junk copies that anyone could leave
there. Both boards are shown, the junk is counted on the page and in
/metrics, and the shipped alert rules, given the scraped series, fire
(`promtool test rules`). Needs Debian's prometheus package for promtool."""

import json
import pathlib
import subprocess
import tempfile
import time
import unittest
import urllib.request

from venue_folder import Server, Venue

HERE = pathlib.Path(__file__).resolve().parent
REPO = HERE.parent.parent
RACES = [("10:00:00", "10:20:00", "第1レース")]
COPIES_READ = 512  # the control room's bound on copies read in one look


def get(url):
    with urllib.request.urlopen(url, timeout=10) as answer:
        return answer.read().decode()


def alert_test(metrics, folder):
    """A `promtool test rules` file that feeds every sample the control
    room served, as it stood, to the shipped rules for two minutes, and
    expects the junk alert and no board in trouble."""
    series = []
    for line in metrics.splitlines():
        if line.startswith("#") or not line:
            continue
        name_labels, value = line.rsplit(" ", 1)
        name, _, labels = name_labels.partition("{")
        labels = labels.rstrip("}")
        labels = 'job="pelm-venue",instance="room:8080"' + ("," + labels if labels else "")
        series.append({"series": f"{name}{{{labels}}}", "values": " ".join([value] * 9)})
    test = {
        "rule_files": [str(REPO / "packaging/prometheus/pelm-alerts.yml")],
        "evaluation_interval": "15s",
        "tests": [{
            "interval": "15s",
            "input_series": series,
            "alert_rule_test": [
                {"eval_time": "2m", "alertname": "PelmBoardInTrouble", "exp_alerts": []},
                {"eval_time": "2m", "alertname": "PelmVenueCopiesNotShown", "exp_alerts": [{
                    "exp_labels": {"severity": "critical", "job": "pelm-venue",
                                   "instance": "room:8080"},
                    "exp_annotations": {
                        "summary": "The status folder of room:8080 holds copies it does not "
                                   "show as boards",
                        "description": "Status copies there have been left unread (more than "
                                       "the control room reads), damaged or forged for a "
                                       "minute: junk that may hide a board, or a copy that "
                                       "claims one. The control room's page names them."}}]},
            ],
        }],
    }
    path = pathlib.Path(folder) / "junk_alert_test.yml"
    path.write_text(json.dumps(test, ensure_ascii=False))  # JSON is YAML
    return path


class ServeJunk(unittest.TestCase):
    def setUp(self):
        self.venue = Venue()
        self.addCleanup(self.venue.close)
        for host in ("pc-1", "pc-2"):
            self.venue.put(f"{host}-a.json", host, RACES)

    def test_junk_copies_hide_no_board_are_counted_and_alerted_on(self):
        for junk in (64, 1000):
            with self.subTest(junk=junk):
                for n in range(junk):
                    (self.venue.folder / f"j{n:04d}.json").write_text("{}")
                server = Server(self.venue.folder)
                self.addCleanup(server.stop)
                venue = self.wait_for_both_boards(server)
                listed = junk + 2
                copies = venue["copies"]
                self.assertEqual(copies["listed"], listed)
                self.assertEqual(copies["unread"], max(0, listed - COPIES_READ))
                self.assertEqual(copies["damaged"], min(listed, COPIES_READ) - 2)
                self.assertEqual(venue["inTrouble"], 0)
                metrics = get(server.url + "metrics")
                self.assertIn(f'pelm_venue_copies{{kind="damaged"}} {copies["damaged"]}', metrics)
                with tempfile.TemporaryDirectory() as scratch:
                    tested = subprocess.run(["promtool", "test", "rules",
                                             str(alert_test(metrics, scratch))],
                                            capture_output=True, text=True)
                self.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)
                server.stop()

    def wait_for_both_boards(self, server):
        """The venue once both boards are seen to run, within 15 s."""
        deadline = time.monotonic() + 15
        while True:
            venue = json.loads(get(server.url + "venue.json"))
            verdicts = {board["name"]: board["verdict"] for board in venue["boards"]}
            if verdicts == {"pc-1": "fine", "pc-2": "fine"} or time.monotonic() > deadline:
                self.assertEqual(verdicts, {"pc-1": "fine", "pc-2": "fine"})
                return venue
            time.sleep(0.5)


if __name__ == "__main__":
    unittest.main(verbosity=2)
