#!/usr/bin/env python3
"""What a second costs the screen: the board on a 3840 x 2160 screen, full
screen and windowed, its repaints seen as X DAMAGE events on its window.
A second repaints the clock's changed digits and nothing else; a changed
schedule repaints the row that changed, not the grid.

    tests/board/repaint_test.py --build build [unittest arguments]
"""

import datetime
import pathlib
import statistics
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import CAPTION, BoardCase, main  # noqa: E402
from board_watch import clock_text  # noqa: E402
from x_damage import Damage  # noqa: E402

SCREEN = (3840, 2160)
CLIENT = (1005, 679)  # the designed window's client area
# The clock's region in the designed window: right of the large logo, left
# of the small one, down to where the previous race's box begins.
CLOCK = (232, 0, 776, 150)
ROW_PITCH = 48  # a grid row, its line included
SETTLE_SECONDS = 3


def quiet_lines():
    """Half-hour races around now: none starts or ends within minutes, so
    no row changes unless the test changes one. Late in the day fewer fit:
    at least the race now running."""
    now = datetime.datetime.now()
    first = max(0, now.hour * 3600 + now.minute * 60 + now.second - 600)
    lines = []
    for index in range(12):
        start, end = first + index * 1800, min(86399, first + (index + 1) * 1800)
        if start >= end:
            break
        lines.append(f"{clock_text(start)},{clock_text(end)},第{index + 1}組 1500m")
    return lines


class Placement:
    """Design pixels to the window's pixels: the board as designed, or
    full screen scaled uniformly and centred."""

    def __init__(self, full_screen):
        self.scale = min(SCREEN[0] / CLIENT[0], SCREEN[1] / CLIENT[1]) if full_screen else 1
        self.left = (SCREEN[0] - CLIENT[0] * self.scale) / 2 if full_screen else 0
        self.top = (SCREEN[1] - CLIENT[1] * self.scale) / 2 if full_screen else 0
        # Scaled edges round outwards, and a scaled view repaints a pixel or
        # two around each change for its antialiasing.
        self.slack = 3 * self.scale

    def box(self, left, top, right, bottom):
        return (self.left + left * self.scale - self.slack, self.top + top * self.scale - self.slack,
                self.left + right * self.scale + self.slack,
                self.top + bottom * self.scale + self.slack)


def inside(rectangle, box):
    x, y, width, height = rectangle
    return box[0] <= x and box[1] <= y and x + width <= box[2] and y + height <= box[3]


def area(box):
    return (box[2] - box[0]) * (box[3] - box[1])


def wait_out_the_days_end():
    """In a day's last minutes every race ends: the grid empties at
    midnight, whatever the test changes. Waits for the new day instead."""
    now = datetime.datetime.now()
    left = 86400 - (now.hour * 3600 + now.minute * 60 + now.second)
    if left < 90:
        time.sleep(left + 1)


class RepaintTest(BoardCase):
    def start(self, full_screen):
        mode = "--fullscreen" if full_screen else "--windowed"
        wait_out_the_days_end()
        self.quiet = quiet_lines()
        self.start_board(screen=f"{SCREEN[0]}x{SCREEN[1]}", arguments=[mode],
                         before_start=lambda board: self.replace_schedule(self.quiet))
        self.wait_for_state("running")
        time.sleep(SETTLE_SECONDS)
        window = int(self.board.window_id(CAPTION), 16)
        self.damage = Damage(self.board.display, window)
        self.addCleanup(self.damage.close)
        # The server reports the whole window once as the watch begins.
        for _ in self.damage.rectangles(time.time() + 0.2):
            pass
        return Placement(full_screen)

    def seconds_of_damage(self, seconds):
        """The damaged rectangles (x, y, width, height), grouped by second."""
        by_second = {}
        for seen, *rectangle in self.damage.rectangles(time.time() + seconds):
            by_second.setdefault(int(seen), []).append(tuple(rectangle))
        return by_second

    def test_a_second_repaints_the_clocks_changed_digits_windowed(self):
        self.check_a_second(full_screen=False)

    def test_a_second_repaints_the_clocks_changed_digits_full_screen(self):
        self.check_a_second(full_screen=True)

    def test_a_changed_race_repaints_its_row_windowed(self):
        self.check_a_changed_race(full_screen=False)

    def test_a_changed_race_repaints_its_row_full_screen(self):
        self.check_a_changed_race(full_screen=True)

    def check_a_second(self, full_screen):
        placement = self.start(full_screen)
        clock = placement.box(*CLOCK)
        seconds = self.seconds_of_damage(6)
        self.assertGreaterEqual(len(seconds), 4, "the clock repaints every second")
        for second, rectangles in seconds.items():
            outside = [r for r in rectangles if not inside(r, clock)]
            self.assertEqual(outside, [], f"repainted beyond the clock at {second}")
        # The seconds' digit, now and then the tens or the minutes: far less
        # than the clock's whole region.
        typical = statistics.median(sum(w * h for _, _, w, h in rectangles)
                                    for rectangles in seconds.values())
        self.assertLess(typical, area(clock) / 3)

    def check_a_changed_race(self, full_screen):
        placement = self.start(full_screen)
        clock = placement.box(*CLOCK)
        lines = list(self.quiet)
        row = min(2, len(lines) - 1)
        lines[row] = lines[row].replace("1500m", "3000m 変更")
        before = self.window_pixels()
        # Just before a second: the board meets the new row in the same
        # refresh as the clock's next second, the case a view would merge.
        time.sleep((0.85 - time.time() % 1) % 1)
        self.replace_schedule(lines)
        rectangles = [r for second in self.seconds_of_damage(2.5).values() for r in second]
        after = self.window_pixels()
        rows = [r for r in rectangles if not inside(r, clock)]
        self.assertTrue(rows, "the changed row was repainted")
        top = min(y for _, y, _, _ in rows)
        bottom = max(y + h for _, y, _, h in rows)
        self.assertLessEqual(bottom - top, ROW_PITCH * placement.scale + 2 * placement.slack,
                             f"one row, not the grid: {rows}")
        changed = self.changed_lines(before, after, clock)
        self.assertTrue(changed, "the new title shows")
        self.assertGreaterEqual(min(changed), top)
        self.assertLess(max(changed), bottom)

    def window_pixels(self):
        """The window's rows of RGB bytes, as on screen now."""
        left, top = self.board.window_origin(CAPTION)
        width, _, pixels = self.board.screen_ppm()
        size = self.board.x("xwininfo", "-id", self.board.window_id(CAPTION))
        columns = int(size.split("Width:")[1].split()[0])
        lines = int(size.split("Height:")[1].split()[0])
        return [pixels[((top + y) * width + left) * 3:((top + y) * width + left + columns) * 3]
                for y in range(lines)]

    @staticmethod
    def changed_lines(before, after, clock):
        """The window's lines that differ outside the clock's region."""
        left, right = max(0, int(clock[0])) * 3, int(clock[2]) * 3
        changed = []
        for y, (one, other) in enumerate(zip(before, after)):
            if clock[1] <= y < clock[3]:
                one, other = one[:left] + one[right:], other[:left] + other[right:]
            if one != other:
                changed.append(y)
        return changed


if __name__ == "__main__":
    main()
