#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are committed; run this again only to change them. The byte
layouts follow the input descriptions at the top of each target.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.encode("latin-1") if isinstance(data, str) else data)


def text(s):
    b = s.encode("latin-1") if isinstance(s, str) else s
    assert len(b) < 256
    return bytes([len(b)]) + b


def i32(v):
    return struct.pack("<i", v)


# parsed_command_fuzzer: the request text itself.
for name, request in {
    "empty_is_null": "",
    "empty_text": "\0",
    "name_value": "myParam=abc",
    "parts_and_value": "a.b.c=d.e",
    "name_only": "a",
    "empty_value": "a=",
    "no_name": "=x",
    "dot_first": ".x",
    "empty_part": "a..b",
    "trailing_dot": "a.",
    "thirty_three_parts": "n" + "".join(".p%d" % i for i in range(33)) + "=v",
    "return_all": "return=all",
    "instance": "instance=Studio A",
}.items():
    write("parsed_command_fuzzer", name, request)

# decode_drez_string_fuzzer: the quote character, then the reply.
for name, reply in {
    "null": "",
    "empty": "'",
    "device_and_offset": "'12 40",
    "two_spaces": "'a  b",
    "leading_space": "' a",
    "trailing_space": "'a ",
    "quoted_first": "''a b' c",
    "empty_quotes": "'x '' y",
    "quote_inside_word": "'x 'a'b",
    "unclosed_quote": "'x 'a b",
    "forty_words": "'" + " ".join("w%d" % i for i in range(40)),
    "double_quote": "\"say \"hi there\" now",
    "space_as_quote": " a b  c",
}.items():
    write("decode_drez_string_fuzzer", name, reply)

# string_fuzzer: operations, each a selector byte (modulo 6) and operands.
SPLIT, TOINT, NUMBER, ARGS, CONCAT, LIST = range(6)
write("string_fuzzer", "split", bytes([SPLIT]) + text("value=a=b") + b"=" +
      bytes([SPLIT]) + text("no delimiter") + b"," + bytes([SPLIT]) + text("=") + b"=")
write("string_fuzzer", "to_int", b"".join(bytes([TOINT]) + text(t) for t in
      ["", "42", "  -17x", "+5", "2147483648", "-2147483649", "\t\n 9", "- 5", "abc"]))
write("string_fuzzer", "numbers", b"".join(
    bytes([NUMBER]) + i32(v) + bytes([fill, width, base]) for v, fill, width, base in
    [(62, 0, 0, 10), (-5, 0, 0, 10), (-2147483648, 0, 0, 10), (255, 48, 8, 16),
     (7, 32, 3, 2), (-35, 0, 0, 36), (12, 0, 0, 1)]))
write("string_fuzzer", "args", bytes([ARGS]) + text("SD '%1'") + bytes([1]) +
      text("RIR SDI Router") + bytes([ARGS]) + text("%2 then %1 and %1 %10") + bytes([3]) +
      text("one") + text("two") + text("three") + bytes([ARGS]) + text("100%% sure") +
      bytes([1]) + text("x") + bytes([ARGS]) + text("%%1%2") + bytes([2]) + text("%2") +
      text("9"))
write("string_fuzzer", "concat", bytes([CONCAT]) + text("TP '") + text("statesheet") +
      bytes([CONCAT]) + text("") + text("") + bytes([CONCAT]) + text("same") + text("same"))
write("string_fuzzer", "lists", bytes([LIST]) + text("alm_1,alm_2,,alm_4,") + b",\n" +
      bytes([LIST]) + text("") + b",\n" + bytes([LIST]) + text("one") + b"\n\0")

# panel_fuzzer: flags, path, lookup replies, then calls (operation byte
# modulo 10: 0-1 update, 2 control event, 3 request, 4 event id, 5 release,
# 6-7 notification, 8 other kind, 9 nested update).
TALLY, SDI, AUDIO, LIGHTS, SMALL, ANY = range(6)


def replies(*answers):
    out = bytes([len(answers)])
    for a in answers:
        out += b"\0" if a is None else b"\1" + text(a)
    return out


def update(device, index, number, value):
    if isinstance(index, int) and 0 <= index < 8:
        index_bytes = bytes([0, index])
    else:
        index_bytes = bytes([{97: 1, 62: 2}[index]])
    return bytes([0, device]) + index_bytes + i32(number) + text(value)


def slot(index, value):
    return update(TALLY, index, 0, value)


def request_parts(name, value_selector, value_text=None):
    out = bytes([3, 1, name, value_selector])
    if value_selector % 4 > 1:
        out += text(value_text)
    return out


def request_raw(t):
    return bytes([3, 3]) + text(t)


studio = (bytes([0]) + text("panels/studio") + replies("3 0", "7 0", "8 0", "12 100") +
          slot(4, "1") + slot(5, "1") + slot(6, "2") + slot(1, "1") + slot(3, "2") +
          slot(1, "2") + slot(2, "x") + slot(7, "1") + slot(1, "0") +
          update(SDI, 97, 12, "CAM 12") + update(AUDIO, 62, 3, "MIC 3") +
          update(LIGHTS, 5, 1, "1") +
          request_parts(2, 2, "a value long enough for the heap") + request_parts(0, 1) +
          request_parts(0, 5) + request_parts(0, 2, "other") + request_parts(1, 2, "Studio A") +
          request_parts(1, 2, "Studio A") + request_parts(3, 0) + request_parts(4, 0) +
          request_raw("myParam.with.parts=v") + bytes([3, 6]) + text("") +
          bytes([5, 1, 5, 0, 5, 2]) + bytes([4]) + i32(7) + bytes([4]) + i32(-1) +
          bytes([9, 1]) + update(TALLY, 1, 0, "1")[1:] + slot(1, "2") +
          bytes([9, 0]) + update(SDI, 97, 13, "CAM 13")[1:] + slot(1, "1") +
          bytes([9, 2]) + update(TALLY, 4, 0, "0")[1:] + bytes([4]) + i32(9) +
          bytes([6, 0]) + i32(1) + bytes([6, 1]) + i32(2) + bytes([8]) + i32(0) + i32(3) +
          bytes([8]) + i32(-4) + i32(0) + bytes([2]) + text("AckAll") + text("alarm=1") +
          bytes([0]) + bytes([2]) + text("x") + text("y") + bytes([7]))
write("panel_fuzzer", "studio_day", studio)
write("panel_fuzzer", "no_host", bytes([1]) + text("p") + replies() + slot(1, "2") +
      request_parts(2, 2, "v") + request_parts(0, 1) + bytes([4]) + i32(3))
write("panel_fuzzer", "no_replies_commands_fail", bytes([6]) + text("") + replies() +
      slot(1, "1") + update(SDI, 97, 1, "") + update(SMALL, 1, 0, "2")[:2] + b"\0" +
      bytes([0, 1]) + i32(0) + text("2"))
write("panel_fuzzer", "quotes_and_odd_replies", bytes([0]) + text("it's/a 'path'") +
      replies("'3' 0", None, " 8", "12 -2147483648 x") + slot(1, "2") +
      update(AUDIO, 62, -1, "it's 'quoted'") + update(ANY, 62, 0, "x")[:2] + i32(8) +
      bytes([2]) + i32(0) + text(""))
write("panel_fuzzer", "same_device_everywhere", bytes([0]) + text("/srv") +
      replies("5", "5", "5", "5 2147483645") + update(TALLY, 97, 4, "route") +
      update(TALLY, 62, 5, "audio") + slot(1, "1") + slot(4, "1") + slot(3, "1"))

# alarm_action_fuzzer: "XI" and "TG" replies, then control events (operation
# byte modulo 4: 0 ActionAll with "alarm=<text>", 1 AckAll, 2 another
# control, 3 ActionAll with any command).
write("alarm_action_fuzzer", "acknowledge", replies(
    "alm_1,alm_2,alm_3", "value=1", "value=0", "level=7") + bytes([1]) + text("") +
    bytes([0]) + text("ack") + bytes([0]) + text("2") + bytes([0]) + text("long"))
write("alarm_action_fuzzer", "odd_lists", replies(
    "", None, "a,,b,", "value", "=5", "value=a=b", "value=%1 %2") + bytes([1]) + text("") +
    bytes([1]) + text("x") + bytes([1]) + text("y") + bytes([0]) + text("7"))
write("alarm_action_fuzzer", "other_controls", replies("alm_9") + bytes([2]) + text("StA_Floor") +
      text("value=1") + bytes([2]) + text("AckAll") + text("") + bytes([3]) +
      text("alarm.level=3") + bytes([3]) + text("notalarm=3"))
