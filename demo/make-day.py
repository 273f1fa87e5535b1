#!/usr/bin/env python3
"""Writes a demo race day into a board data folder.

RInfo.txt gets about twenty races of twelve minutes each, back to back,
placed so that five have ended, one is running now and the rest follow;
RInfomem.txt gets a two-line notice. Both are Shift-JIS (CP932) with CR LF
line ends, as the venue's schedule writer makes them.

    demo/make-day.py DATA_FOLDER
"""

import datetime
import pathlib
import sys

RACE_MINUTES = 12
RACES_OVER = 5
TITLE_BYTES = 40  # the most a board row holds

TITLES = [
    "開会式・選手紹介",
    "第1レース 新人戦 1000m",
    "第2レース 女子 500m 予選",
    "第3レース 男子 500m 予選",
    "第4レース ジュニア 1500m",
    "第5レース 女子 1000m 準決勝",
    "第6レース 男子 1000m 準決勝",
    "第7レース シニア 3000m",
    "昼休憩",
    "第8レース 女子 500m 決勝",
    "第9レース 男子 500m 決勝",
    "第10レース リレー 予選A",
    "第11レース リレー 予選B",
    "第12レース 女子 1500m 決勝",
    "第13レース 男子 1500m 決勝",
    "第14レース マスターズ 1000m",
    "第15レース 女子リレー 決勝",
    "第16レース 男子リレー 決勝",
    "エキシビション O'Brien Cup",
    "表彰式・閉会式",
]

NOTICE = [
    "本日は晴天のため予定どおり進行します。",
    "お車の方は第2駐車場をご利用ください。",
]

MINUTES_PER_DAY = 24 * 60


def clock_text(minutes):
    """A time of day as the board writes it: no leading zero on the hour."""
    return f"{minutes // 60}:{minutes % 60:02d}:00"


def schedule_lines(now):
    """The day's races; races that would cross midnight are left out."""
    minutes_now = now.hour * 60 + now.minute
    first_start = minutes_now - RACES_OVER * RACE_MINUTES - RACE_MINUTES // 2
    lines = []
    for index, title in enumerate(TITLES):
        start = first_start + index * RACE_MINUTES
        end = start + RACE_MINUTES
        if start < 0 or end >= MINUTES_PER_DAY:
            continue
        if len(title.encode("cp932")) > TITLE_BYTES:
            raise SystemExit(f"title longer than {TITLE_BYTES} bytes: {title}")
        lines.append(f"{clock_text(start)},{clock_text(end)},{title}")
    return lines


def write_cp932(path, lines):
    path.write_bytes("".join(line + "\r\n" for line in lines).encode("cp932"))


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: make-day.py DATA_FOLDER")
    folder = pathlib.Path(sys.argv[1])
    lines = schedule_lines(datetime.datetime.now())
    write_cp932(folder / "RInfo.txt", lines)
    write_cp932(folder / "RInfomem.txt", NOTICE)
    print(f"  wrote {len(lines)} races and a two-line notice into {folder}")


if __name__ == "__main__":
    main()
