#!/usr/bin/env python3
"""The show's end as the program defines it (kShowEndOrder and kShowEndRow in
src/data/show_tables.h), for the scripts that check it. Run, it prints
ORDER/ROW; imported, show_end() gives (order, row)."""
import os
import re

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "data", "show_tables.h")


def show_end():
    text = open(HEADER).read()
    order = re.search(r"\bkShowEndOrder = (\d+);", text)
    row = re.search(r"\bkShowEndRow = (\d+);", text)
    if not order or not row:
        raise SystemExit(f"show_end.py: no kShowEndOrder and kShowEndRow in {HEADER}")
    return int(order.group(1)), int(row.group(1))


if __name__ == "__main__":
    print("%d/%d" % show_end())
