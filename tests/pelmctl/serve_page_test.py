"""The control room's page in a real browser: headless Chromium loads it
from `pelmctl serve`, and the cards say what each board does, the boards in
trouble first and loudest; a board's new copy reaches its card without the
page being loaded again; a board whose clock is an hour off but runs is
fine; two copies of one board never hide its error; a picture is fetched
only when it changed; and with the server gone every card turns to
"unknown" within 6 s.

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
  name: card.querySelector('.name').textContent,
  verdict: card.dataset.verdict,
  state: card.querySelector('.state').textContent,
  now: card.querySelector('dd.now').textContent,
  error: card.querySelector('dd.error').textContent,
  clock: card.querySelector('dd.clock').textContent,
  copies: card.querySelector('dd.copies').textContent,
  taken: card.querySelector('dd.picture-age').textContent,
  opacity: getComputedStyle(card).opacity,
  filter: getComputedStyle(card).filter,
  picture: card.querySelector('.picture').hidden ? 0 : card.querySelector('.picture').naturalWidth,
})))"""
PICTURE_FETCHES = """performance.getEntriesByType('resource')
  .filter(entry => entry.name.includes('/picture/')).length"""


class PageCase(unittest.TestCase):
    def setUp(self):
        self.venue = Venue()
        self.addCleanup(self.venue.close)
        self.folder = self.venue.folder

    def serve(self):
        self.server = Server(self.folder)
        self.addCleanup(self.server.stop)

    def open(self, width=1280, height=900):
        browser = Browser(self.server.url, width, height)
        self.addCleanup(browser.close)
        return browser

    def cards(self, browser, condition, what, seconds=25):
        deadline = time.monotonic() + seconds
        cards = []
        while time.monotonic() < deadline:
            cards = json.loads(browser.evaluate(CARDS))
            if condition(cards):
                return cards
            time.sleep(0.2)
        self.fail(f"the page never showed {what}; it shows {cards}")

    def named(self, cards):
        return {card["name"]: card for card in cards}

    def keep_screenshot(self, browser, name):
        folder = os.environ.get("PELM_SERVE_SCREENSHOT")
        if folder:
            browser.screenshot(os.path.join(folder, name))


class ServePage(PageCase):
    def setUp(self):
        super().setUp()
        for name, colour in (("paddock-1", (0, 90, 0)), ("gate-2", (90, 0, 0)),
                             ("stand-3", (0, 0, 90))):
            (self.folder / f"{name}.png").write_bytes(png(96, 65, colour))
        self.venue.put("paddock-1.json", "pc-1", FIRST, picture="paddock-1.png", name="パドック")
        self.venue.put("gate-2.json", "pc-2", FIRST, error=ERROR, synchronised=False,
                       picture="gate-2.png", name="ゲート")
        self.venue.put("stand-3.json", "pc-3", FIRST, fresh=False, picture="stand-3.png",
                       name="スタンド")
        self.serve()

    def test_cards_in_trouble_first_and_loudest_following_the_boards_without_reload(self):
        browser = self.open()
        cards = self.cards(browser, lambda cards: [c["verdict"] for c in cards] == [
            "error", "not answering", "fine"] and all(c["picture"] for c in cards),
            "the error, the board not answering, the fine one, with pictures")
        self.assertEqual([card["name"] for card in cards], ["ゲート", "スタンド", "パドック"])
        gate, stand, paddock = cards
        self.assertEqual(paddock["state"], "表示中")
        self.assertEqual(paddock["now"], "10:00:00-10:20:00 第1レース 新馬戦")
        self.assertEqual(paddock["error"], "なし")
        self.assertTrue(paddock["clock"].startswith("同期済み"))
        self.assertRegex(paddock["taken"], r"^\d+ 秒前に撮影$")
        self.assertEqual(paddock["picture"], 96)
        self.assertEqual(gate["state"], "エラー")
        self.assertTrue(gate["error"].startswith(ERROR))
        self.assertEqual(gate["clock"], "未同期")
        self.assertEqual(stand["state"], "応答なし")
        for card in (gate, stand):  # the worse the trouble, never the fainter
            self.assertEqual((card["opacity"], card["filter"]), ("1", "none"))
        self.assertEqual(browser.evaluate("document.title"), "(2) 会場の表示板")
        summary = browser.evaluate("document.getElementById('summary').textContent")
        self.assertIn("ゲート（エラー）、スタンド（応答なし）", summary)
        self.keep_screenshot(browser, "control-room.png")

        browser.evaluate("window.pelmMark = 'same page'")  # a reload would wipe it
        self.venue.put("paddock-1.json", "pc-1", SECOND, error=ERROR, picture="paddock-1.png",
                       name="パドック")
        cards = self.named(self.cards(browser, lambda cards: any(
            c["now"].startswith("10:30:00-10:50:00") and c["name"] == "パドック" for c in cards),
            "the paddock board's next race"))
        self.assertEqual(cards["パドック"]["state"], "エラー")
        self.assertEqual(browser.evaluate("window.pelmMark"), "same page")
        self.assertEqual(browser.evaluate("document.title"), "(3) 会場の表示板")

    def test_a_picture_is_fetched_again_only_when_it_changed(self):
        browser = self.open()
        self.cards(browser, lambda cards: len(cards) == 3 and all(c["picture"] for c in cards),
                   "three cards with pictures")
        time.sleep(6)  # three more polls, the same pictures
        self.assertEqual(browser.evaluate(PICTURE_FETCHES), 3)
        (self.folder / "new.png").write_bytes(png(120, 81, (0, 120, 0)))
        os.replace(self.folder / "new.png", self.folder / "paddock-1.png")
        self.cards(browser, lambda cards: self.named(cards)["パドック"]["picture"] == 120,
                   "the paddock board's new picture")
        time.sleep(4)
        self.assertEqual(browser.evaluate(PICTURE_FETCHES), 4)

    def test_every_card_turns_to_unknown_within_6_s_of_the_server_going(self):
        browser = self.open()
        self.cards(browser, lambda cards: "fine" in [c["verdict"] for c in cards], "a fine card")
        self.server.stop()
        gone = time.monotonic()
        while not browser.evaluate("document.body.classList.contains('unknown')"):
            self.assertLess(time.monotonic() - gone, 6, "cards still shown as known")
            time.sleep(0.1)
        self.assertEqual(browser.evaluate("document.title"), "(?) 会場の表示板")
        banner = browser.evaluate("document.getElementById('unknown').textContent")
        self.assertIn("サーバーに接続できません", banner)
        fine = browser.evaluate("""getComputedStyle(
            document.querySelector('.card.fine')).filter""")
        self.assertIn("grayscale", fine)
        self.keep_screenshot(browser, "control-room-unknown.png")

    def test_phone_shows_one_column_without_sideways_scrolling(self):
        browser = self.open(390, 844)
        self.cards(browser, lambda cards: len(cards) == 3, "three cards")
        lefts = browser.evaluate(
            "[...document.querySelectorAll('.card')].map(card => card.getBoundingClientRect().left)")
        self.assertEqual(len(set(lefts)), 1, "cards side by side on a phone")
        self.assertLessEqual(browser.evaluate("document.documentElement.scrollWidth"),
                             browser.evaluate("window.innerWidth"))
        self.keep_screenshot(browser, "control-room-phone.png")


class VenueTruth(PageCase):
    def test_a_board_an_hour_off_that_runs_is_fine_and_its_clock_says_so(self):
        self.venue.put("far-1.json", "pc-far", FIRST, clock_offset=3600, name="記者室")
        self.serve()
        browser = self.open()
        card = self.cards(browser, lambda cards: cards and cards[0]["verdict"] == "fine",
                          "the board fine")[0]
        self.assertIn("時計 +3600 秒", card["clock"])

    def test_two_copies_of_one_board_never_hide_its_error(self):
        # A file manager's copy of the board's copy, frozen fine, beside the
        # real one, in error.
        self.venue.put("pc-1-abc - Copy.json", "pc-1", FIRST, fresh=False, name="パドック")
        self.venue.put("pc-1-abc.json", "pc-1", FIRST, error=ERROR, name="パドック")
        self.serve()
        browser = self.open()
        # A first look cut short by its deadline (a loaded machine) may have
        # read one copy only: the card is whole once both are read.
        cards = self.cards(browser, lambda cards: cards and cards[0]["verdict"] == "error"
                           and "pc-1-abc - Copy.json" in cards[0]["copies"],
                           "the board's error, with both copies")
        self.assertEqual(len(cards), 1, "one card for one board")

    def test_a_listed_board_without_a_copy_is_missing(self):
        self.venue.put("pc-1.json", "pc-1", FIRST, name="パドック")
        (self.folder / "expected-boards.txt").write_text("パドック\n記者室\n")
        self.serve()
        browser = self.open()
        cards = self.cards(browser, lambda cards: len(cards) == 2 and cards[1]["verdict"] == "fine",
                           "the missing board and the fine one")
        self.assertEqual((cards[0]["name"], cards[0]["state"]), ("記者室", "未着"))

    def test_a_copy_of_another_user_than_the_list_names_is_forged_never_the_board(self):
        self.venue.put("pc-1.json", "pc-1", FIRST, name="パドック")  # written by root
        (self.folder / "expected-boards.txt").write_text("パドック nobody\n")
        self.serve()
        browser = self.open()
        cards = self.cards(browser, lambda cards: len(cards) == 2, "the forgery and the missing board")
        self.assertEqual([(card["name"], card["state"]) for card in cards],
                         [("パドック", "偽造"), ("パドック", "未着")])
        self.assertIn("書き手 root（expected-boards.txt では nobody）", cards[0]["copies"])
        self.assertEqual(cards[0]["now"], "", "nothing of what a forgery says is shown")


if __name__ == "__main__":
    unittest.main(verbosity=2)
