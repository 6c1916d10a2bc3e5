"""Turns items as Virtuoso's SyncML package stores them into vCard or vCalendar text.

The package keeps each item as a sequence of XML elements, one per property line:
<TEL WORK="" VOICE=""><![CDATA[+1-555-0100]]></TEL> is the line TEL;WORK;VOICE:+1-555-0100.
Usage: item_text.py SOURCE_FOLDER TARGET_FOLDER (every file of the one becomes a file of the other).
"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def item_text(fragment):
    root = ElementTree.fromstring("<item>" + fragment + "</item>")
    lines = []
    for element in root:
        parameters = "".join(";" + name + ("=" + value if value else "") for name, value in element.attrib.items())
        value = (element.text or "").replace("\r\n", "\n").replace("\n", "\r\n")
        lines.append(element.tag + parameters + ":" + value)
    return "\r\n".join(lines) + "\r\n"


def main(source, target):
    os.makedirs(target, exist_ok=True)
    for name in sorted(os.listdir(source)):
        with open(os.path.join(source, name), encoding="utf-8") as stored:
            text = item_text(stored.read())
        with open(os.path.join(target, name), "w", encoding="utf-8", newline="") as out:
            out.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
