#!/usr/bin/python3
"""Prints what pydicom (Debian's python3-pydicom) reads from the text values
of DICOM files, as the reference the character set tests compare against.

One line per value that may hold the data set's character set (SH, LO, ST,
LT, UC, UT, PN), in the order of a depth-first walk in ascending tag order:

    TAG <tab> VR <tab> SET <tab> STORED <tab> TEXT

TAG is gggg,eeee; SET the Specific Character Set in force, its values joined
by backslashes; STORED the value's bytes without trailing padding, in hex;
TEXT pydicom's text, each value without trailing spaces and the values
joined by backslashes, as UTF-8 in hex.

    pydicom_text_values.py FILE
    pydicom_text_values.py --name FILE     prints Patient's Name only
"""
import sys
import warnings

import pydicom
from pydicom.charset import convert_encodings
from pydicom.dataelem import DataElement_from_raw
from pydicom.multival import MultiValue

TEXT_VRS = {"SH", "LO", "ST", "LT", "UC", "UT", "PN"}


def normalized(value):
    values = list(value) if isinstance(value, MultiValue) else [value]
    return "\\".join(str(v).rstrip(" ") for v in values).rstrip()


def walk(dataset, charset, out):
    if "SpecificCharacterSet" in dataset:
        charset = dataset.SpecificCharacterSet
        charset = list(charset) if isinstance(charset, MultiValue) else [charset]
    for tag in sorted(dataset.keys()):
        raw = dataset.get_item(tag)
        if raw.VR == "SQ":
            for item in dataset[tag].value:
                walk(item, charset, out)
            continue
        if raw.VR not in TEXT_VRS or not raw.value:
            continue
        element = DataElement_from_raw(raw, encoding=convert_encodings(charset))
        stored = bytes(raw.value).rstrip(b" \0")
        out.append("%04x,%04x\t%s\t%s\t%s\t%s" % (tag.group, tag.element, raw.VR, "\\".join(charset), stored.hex(),
                                                normalized(element.value).encode("utf-8").hex()))


def main():
    warnings.simplefilter("ignore")
    if sys.argv[1] == "--name":
        print(str(pydicom.dcmread(sys.argv[2]).PatientName))
        return
    out = []
    walk(pydicom.dcmread(sys.argv[1]), [""], out)
    print("\n".join(out))


if __name__ == "__main__":
    main()
