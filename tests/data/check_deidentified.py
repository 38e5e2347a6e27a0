"""Checks de-identified files with pydicom, a reader no one here wrote.

Usage: check_deidentified.py PROFILE_CSV INPUT_DIR OUTPUT_DIR

Each file of OUTPUT_DIR is read beside its original (same relative path in
INPUT_DIR). Prints one line per fault (exit 1), else "OK files uids".
"""
import csv
import os
import re
import sys

import pydicom

UID = re.compile(r"^(0|[1-9][0-9]*)(\.(0|[1-9][0-9]*))*$")


def load_rows(path):
    exact, patterns = {}, []
    for row in csv.DictReader(open(path, encoding="utf-8")):
        text = row["tag"].strip("()").replace(",", "")
        if "ODD" in row["tag"]:
            continue
        if "X" in text:
            mask = int("".join("0" if c == "X" else "F" for c in text), 16)
            patterns.append((int(text.replace("X", "0"), 16), mask, row["basic_profile"]))
        else:
            exact[int(text, 16)] = row["basic_profile"]
    return exact, patterns


def action(tag, exact, patterns):
    if tag in exact:
        return exact[tag]
    for value, mask, code in patterns:
        if tag & mask == value:
            return code
    return None


def main():
    exact, patterns = load_rows(sys.argv[1])
    originals, outputs = sys.argv[2], sys.argv[3]
    faults, mapping, count = [], {}, 0

    def walk(out, where):
        for element in out:
            tag = int(element.tag)
            if element.tag.group % 2 == 1:
                faults.append("%s: private %s left" % (where, element.tag))
            elif action(tag, exact, patterns) == "X":
                faults.append("%s: %s left, the profile removes it" % (where, element.tag))
            if element.VR == "SQ":
                for index, item in enumerate(element.value):
                    walk(item, "%s %s[%d]" % (where, element.tag, index))

    def pair_uids(orig, out, where):
        for element in orig:
            if element.tag not in out:
                continue
            if element.VR == "SQ" and out[element.tag].VR == "SQ":
                for index, (a, b) in enumerate(zip(element.value, out[element.tag].value)):
                    pair_uids(a, b, "%s %s[%d]" % (where, element.tag, index))
            elif action(int(element.tag), exact, patterns) == "U" and element.value:
                before = element.value if element.VM > 1 else [element.value]
                after = out[element.tag].value if out[element.tag].VM > 1 else [out[element.tag].value]
                for old, new in zip(before, after):
                    old, new = str(old), str(new)
                    if new == old or not UID.match(new) or len(new) > 64:
                        faults.append("%s: %s %s became %r" % (where, element.tag, old, new))
                    if mapping.setdefault(old, new) != new:
                        faults.append("%s: %s became %s here, %s elsewhere" % (where, old, new, mapping[old]))

    for folder, _, names in os.walk(outputs):
        for name in sorted(names):
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, outputs)
            orig = pydicom.dcmread(os.path.join(originals, relative))
            out = pydicom.dcmread(path)
            count += 1
            walk(out, relative)
            pair_uids(orig, out, relative)
            if out.get("PatientIdentityRemoved") != "YES":
                faults.append("%s: Patient Identity Removed is %r" % (relative, out.get("PatientIdentityRemoved")))
            codes = [item.CodeValue for item in out.get("DeidentificationMethodCodeSequence", [])]
            if "113100" not in codes:
                faults.append("%s: method codes %r" % (relative, codes))
            if "SOPInstanceUID" in out and out.file_meta.MediaStorageSOPInstanceUID != out.SOPInstanceUID:
                faults.append("%s: the file meta names another instance" % relative)
            if orig.get("PixelData") != out.get("PixelData"):
                faults.append("%s: the pixel data changed" % relative)
    if len(set(mapping.values())) != len(mapping):
        faults.append("two original UIDs share one new UID")
    for fault in faults:
        print(fault)
    if not faults:
        print("OK %d %d" % (count, len(mapping)))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
