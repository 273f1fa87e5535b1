#!/usr/bin/env python3
"""A board with a venue status folder leaves a small picture of its screen
beside its status copy, names it in the copy, and replaces it when the rows
on screen change.

    tests/board/screen_picture_test.py --build build [unittest arguments]
"""

import json
import pathlib
import shutil
import struct
import sys
import tempfile
import time
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from board_case import CAPTION, BoardCase, day_lines, main  # noqa: E402

PICTURE_WIDTH = 480  # a card's width in the control room


def decoded_size(png):
    """(width, height) of a PNG whose every chunk is whole and whose image
    data inflates to exactly its rows; an AssertionError otherwise."""
    assert png[:8] == b"\x89PNG\r\n\x1a\n", "no PNG signature"
    at, chunks = 8, {}
    while at < len(png):
        size, kind = struct.unpack(">I4s", png[at:at + 8])
        data = png[at + 8:at + 8 + size]
        crc = struct.unpack(">I", png[at + 8 + size:at + 12 + size])[0]
        assert zlib.crc32(kind + data) & 0xFFFFFFFF == crc, f"damaged {kind} chunk"
        chunks.setdefault(kind, []).append(data)
        at += 12 + size
    assert b"IEND" in chunks, "no end"
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][0][:10])
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    row_bytes = 1 + (width * channels * depth + 7) // 8
    assert len(zlib.decompress(b"".join(chunks[b"IDAT"]))) == row_bytes * height, "short image"
    return width, height


class ScreenPictureTest(BoardCase):
    def setUp(self):
        self.venue = pathlib.Path(tempfile.mkdtemp(prefix="pelm-venue-"))
        self.addCleanup(shutil.rmtree, self.venue, ignore_errors=True)

    def copy(self):
        copies = list(self.venue.glob("*.json"))
        return json.loads(copies[0].read_text()) if len(copies) == 1 else None

    def titles(self):
        return [row["title"] for row in (self.copy() or {}).get("rows", [])]

    def picture(self):
        copy = self.copy()
        if not copy or "picture" not in copy:
            return None
        path = self.venue / copy["picture"]
        return path.read_bytes() if path.exists() else None

    def window_size(self):
        info = self.board.x("xwininfo", "-id", self.board.window_id(CAPTION))
        return (int(info.split("Width:")[1].split()[0]),
                int(info.split("Height:")[1].split()[0]))

    def settled_picture(self):
        """The picture once it has stayed the same for two seconds."""
        last = [None, time.monotonic()]

        def steady():
            now = self.picture()
            if now != last[0]:
                last[:] = [now, time.monotonic()]
                return None
            return now if now and time.monotonic() - last[1] >= 2 else None
        return self.wait(steady, "the picture to settle")

    def test_picture_of_the_screen_follows_the_rows(self):
        self.start_board(status_dir=self.venue)
        self.wait(lambda: self.titles() and "組" in self.titles()[0], "the rows in the copy")
        shown = self.wait(self.picture, "a picture beside the status copy")
        width, height = self.window_size()
        self.assertEqual(decoded_size(shown),
                         (PICTURE_WIDTH, round(height * PICTURE_WIDTH / width)))
        self.assertEqual(self.copy()["picture"],
                         pathlib.Path(self.copy()["picture"]).name)  # a plain name beside it

        before = self.settled_picture()
        self.replace_schedule(day_lines(label="レース"))
        self.wait(lambda: "レース" in self.titles()[0], "the new rows in the copy")
        after = self.wait(lambda: self.picture() if self.picture() != before else None,
                          "a new picture after the rows changed")
        self.assertEqual(decoded_size(after)[0], PICTURE_WIDTH)


if __name__ == "__main__":
    main()
