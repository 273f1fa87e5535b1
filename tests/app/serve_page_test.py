"""The control room's page in a real browser: headless Chromium loads it
from `pelmctl serve` on a folder of three boards (one fine, one showing an
error, one whose copy went stale), the cards say what each board does, and
a board's new copy reaches its card without the page being loaded again.

Set PELM_SERVE_SCREENSHOT=DIR to keep screenshots of the page."""

import json
import os
import time
import unittest

from chromium_page import Browser
from venue_folder import Server, Venue, png

FIRST = [("10:00:00", "10:20:00", "第1レース 新馬戦"), ("10:30:00", "10:50:00", "第2レース")]
SECOND = [("10:30:00", "10:50:00", "第2レース"), ("11:00:00", "11:20:00", "第3レース")]
ERROR = "RInfo.txt が読めません"

CARDS = """JSON.stringify([...document.querySelectorAll('.card')].map(card => ({
  host: card.querySelector('.host').textContent,
  verdict: card.dataset.verdict,
  state: card.querySelector('.state').textContent,
  now: card.querySelector('.now').textContent,
  error: card.querySelector('.error').textContent,
  clock: card.querySelector('.clock').textContent,
  age: card.querySelector('.age').textContent,
  grey: getComputedStyle(card).filter,
  picture: card.querySelector('.picture').hidden ? 0 : card.querySelector('.picture').naturalWidth,
})))"""


class ServePage(unittest.TestCase):
    def setUp(self):
        self.venue = Venue()
        self.addCleanup(self.venue.close)
        folder = self.venue.folder
        for name, colour in (("paddock", (0, 90, 0)), ("gate", (90, 0, 0)), ("stand", (0, 0, 90))):
            (folder / f"{name}.png").write_bytes(png(96, 65, colour))
        self.venue.put("paddock-1.json", "paddock", FIRST, picture="paddock.png")
        self.venue.put("gate-2.json", "gate", FIRST, error=ERROR, synchronised=False,
                       picture="gate.png")
        self.venue.put("stand-3.json", "stand", FIRST, fresh=False, age_seconds=60,
                       picture="stand.png")
        self.server = Server(folder)
        self.addCleanup(self.server.stop)

    def open(self, width=1280, height=900):
        browser = Browser(self.server.url, width, height)
        self.addCleanup(browser.close)
        return browser

    def cards(self, browser, condition, what):
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            cards = {card["host"]: card for card in json.loads(browser.evaluate(CARDS))}
            if condition(cards):
                return cards
            time.sleep(0.2)
        self.fail(f"the page never showed {what}; it shows {cards}")

    def keep_screenshot(self, browser, name):
        folder = os.environ.get("PELM_SERVE_SCREENSHOT")
        if folder:
            browser.screenshot(os.path.join(folder, name))

    def test_cards_follow_the_boards_without_reload(self):
        browser = self.open()
        cards = self.cards(browser, lambda cards: len(cards) == 3 and all(
            card["picture"] for card in cards.values()), "three cards with pictures")
        paddock, gate, stand = cards["paddock"], cards["gate"], cards["stand"]
        self.assertEqual((paddock["verdict"], paddock["state"]), ("fine", "表示中"))
        self.assertEqual(paddock["now"], "10:00:00-10:20:00 第1レース 新馬戦")
        self.assertEqual(paddock["error"], "なし")
        self.assertTrue(paddock["clock"].startswith("同期済み"))
        self.assertEqual(paddock["grey"], "none")
        self.assertEqual((gate["verdict"], gate["state"]), ("error", "エラー"))
        self.assertTrue(gate["error"].startswith(ERROR))
        self.assertEqual(gate["clock"], "未同期")
        self.assertEqual((stand["verdict"], stand["state"]), ("stale", "応答なし"))
        self.assertRegex(stand["age"], r"^(6\d) 秒前$")  # written 60 s before, read since
        self.assertIn("grayscale", stand["grey"])
        self.assertEqual(paddock["picture"], 96)
        self.keep_screenshot(browser, "control-room.png")

        # A mark in the page itself: a reload would wipe it.
        browser.evaluate("window.pelmMark = 'same page'")
        self.venue.put("paddock-1.json", "paddock", SECOND, error=ERROR, picture="paddock.png")
        cards = self.cards(browser, lambda cards: cards["paddock"]["now"].startswith("10:30:00"),
                           "the paddock board's next race")
        self.assertEqual(cards["paddock"]["now"], "10:30:00-10:50:00 第2レース")
        self.assertEqual(cards["paddock"]["state"], "エラー")
        self.assertEqual(browser.evaluate("window.pelmMark"), "same page")

    def test_phone_shows_one_column_without_sideways_scrolling(self):
        browser = self.open(390, 844)
        self.cards(browser, lambda cards: len(cards) == 3, "three cards")
        lefts = browser.evaluate(
            "[...document.querySelectorAll('.card')].map(card => card.getBoundingClientRect().left)")
        self.assertEqual(len(set(lefts)), 1, "cards side by side on a phone")
        self.assertLessEqual(browser.evaluate("document.documentElement.scrollWidth"),
                             browser.evaluate("window.innerWidth"))
        self.keep_screenshot(browser, "control-room-phone.png")


if __name__ == "__main__":
    unittest.main(verbosity=2)
