#!/usr/bin/env python3
"""Writes the seed corpus (fuzz/corpus/<target>/) from the worked examples of the
frame format. Run it again after changing an input layout; the files are kept in
the repository so that CI replays exactly these."""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(data):
    c = crc16(data)
    return bytes(data) + bytes([c & 0xFF, c >> 8])


def ascii_line(start, data):
    return (start + with_crc(data).hex().upper() + ";").encode()


def binary_line(data):
    allb = with_crc(data)
    out = bytearray()
    for i, b in enumerate(allb):
        marker = 0xC0 if i == 0 else (0x60 if i == len(allb) - 1 else 0x40)
        out += bytes([b & 0x0F, marker | (b >> 4)])
    return bytes(out)


POLL_ANSWER = (
    (20170105).to_bytes(4, "little") + (20161011).to_bytes(4, "little") + bytes([1]) + (345).to_bytes(2, "little")
    + (12000).to_bytes(2, "little") + bytes([0]) + (1000).to_bytes(2, "little") + (12345).to_bytes(2, "little")
    + (10).to_bytes(2, "little")
)


def seeds():
    s = {}
    # Receivers: five configuration bytes (address, ID, option A, option B, chunk seed), then the line.
    s["ascii_master"] = {
        "empty_answer": bytes([1, 39, 8, 0, 3]) + b"S01270800B613;",
        "word_answer": bytes([1, 39, 1, 0, 0]) + b"S01270100102779EB;",
        "unknown_command": bytes([1, 39, 8, 0, 5]) + b"S012708FE3793;",
        "id_error": bytes([1, 39, 8, 0, 2]) + b"S012808008610;",
        "other_address": bytes([2, 39, 8, 0, 1]) + b"S01270800B613;",
        "poll_answer": bytes([1, 39, 1, 0, 4]) + ascii_line("S", bytes([1, 39, 1, 0]) + POLL_ANSWER),
        "chained": bytes([1, 39, 8, 1, 6]) + b"S01270800B613;\r\nS0127" + ascii_line("S", bytes([1, 39, 9, 0])) + b";",
        "own_query_echo": bytes([1, 39, 1, 0, 7]) + b"M0127010001A00F5913;S01270100102779EB;",
        "overflow": bytes([1, 0, 1, 0, 7]) + b"S0100" + b"00" * 8400 + b";",
    }
    s["binary_master"] = {
        "ok_answer": bytes([1, 39, 0, 0, 1]) + bytes.fromhex("01C807420040 0A4308 61".replace(" ", "")),
        "slave_error": bytes([1, 39, 0, 0, 2]) + bytes.fromhex("01C8074202480A4B0967"),
        "poll_answer": bytes([1, 39, 1, 0, 3]) + binary_line(bytes([0x81, 39, 0]) + POLL_ANSWER),
        "query_on_line": bytes([1, 39, 1, 1, 4]) + bytes.fromhex("01C00742014001400 04A0F400D45056F".replace(" ", "")),
        "restart_inside": bytes([1, 39, 0, 0, 5]) + bytes.fromhex("01C80742") + bytes.fromhex("01C8074200400A430861"),
    }
    s["ascii_slave"] = {
        "identify": bytes([1, 39, 0, 1, 1]) + b"M0127FA00F373;",
        "name": bytes([1, 39, 0, 1, 2]) + b"M0127FE00F1B3;",
        "id_error": bytes([1, 39, 0, 1, 3]) + b"M010508001619;",
        "frame_counter": bytes([1, 39, 0, 1, 4]) + b"M0127FD00F143;",
        "poll_query": bytes([1, 39, 3, 1, 5]) + b"M0127010001A00F5913;",
        "settings_read_delayed": bytes([1, 39, 0x20, 1, 6]) + b"M01270800B613;",
        "nibble_zero_address": bytes([16, 39, 0, 1, 7]) + ascii_line("M", bytes([16, 39, 1, 0, 1])),
        "broadcast": bytes([1, 39, 0x10, 1, 0]) + ascii_line("M", bytes([0, 39, 7, 0, 9, 9])),
        "answers_of_others": bytes([1, 39, 0, 1, 2]) + b"S01270800B613;0127M0127FA00F373;",
    }
    s["binary_slave"] = {
        "poll_query": bytes([1, 39, 2, 1, 1]) + bytes.fromhex("01C007420140014000 4A0F400D45056F".replace(" ", "")),
        "identify": bytes([1, 39, 0, 1, 2]) + binary_line(bytes([1, 39, 129])),
        "frame_counter_clear": bytes([1, 39, 0, 1, 3]) + binary_line(bytes([1, 39, 130, 1])),
        "frame_counter": bytes([1, 39, 0, 1, 4]) + binary_line(bytes([1, 39, 130, 0])),
        "unknown": bytes([1, 39, 0, 1, 5]) + binary_line(bytes([1, 39, 200])),
        "low_nibble_17": bytes([17, 39, 0, 1, 6]) + binary_line(bytes([0x41, 39, 5, 1, 2])),
        "id_error": bytes([1, 5, 0x20, 1, 7]) + binary_line(bytes([1, 39, 5])),
        "answer_of_other": bytes([1, 39, 0, 1, 0]) + bytes.fromhex("01C8074200400A430861"),
    }
    query = bytes.fromhex("01C0074201400140004A0F400D45056F")
    s["diagnostic"] = {
        "query_and_answer": bytes([0, 0, 0, 0, 1]) + query + bytes.fromhex("01C8074200400A430861"),
        "slave_error": bytes([0, 0, 0, 0, 2]) + bytes.fromhex("01C8074202480A4B0967"),
        "restart": bytes([0, 0, 0, 0, 3]) + query[:6] + query,
    }
    s["raw"] = {
        "string_ok_cr": bytes([1, 13, 3, 0, 1]) + b"OK\r",
        "string_before_send": bytes([1, 13, 1, 0, 2]) + b"early\rOK\r",
        "string_rearm": bytes([1, 10, 7, 0, 3]) + b"one\ntwo\nthree\n",
        "bytes_handler": bytes([0, 0, 1, 0, 4]) + b"hello, line",
        "bytes_no_handler": bytes([0, 0, 0, 0, 5]) + bytes(range(256)),
    }
    # Frames: flags, address, ID, command, chunk seed, extra answer bytes, then the query payload.
    s["frames"] = {
        "ascii_poll": bytes([0, 1, 39, 1, 3, 0]) + bytes([1, 0xA0, 0x0F]),
        "ascii_empty": bytes([0, 1, 39, 8, 1, 10]),
        "ascii_identify": bytes([0, 1, 39, 250, 2, 0]),
        "ascii_counter": bytes([0, 1, 39, 253, 4, 0]) + bytes([1]),
        "ascii_name": bytes([0, 1, 39, 254, 5, 0]),
        "ascii_unknown": bytes([4, 1, 39, 77, 6, 2]) + b"xyz",
        "ascii_other_id": bytes([8, 1, 39, 8, 7, 0]),
        "ascii_delayed": bytes([16, 1, 39, 8, 0, 3]),
        "binary_poll": bytes([1, 1, 39, 1, 3, 0]) + bytes([1, 0xA0, 0x0F]),
        "binary_query_mode": bytes([3, 1, 39, 1, 2, 5]) + bytes([1, 0xA0, 0x0F]),
        "binary_identify": bytes([1, 1, 39, 129, 1, 0]),
        "binary_counter": bytes([1, 1, 39, 130, 1, 0]) + bytes([1]),
        "binary_unknown": bytes([1, 1, 39, 200, 1, 0]),
        "binary_broadcast": bytes([1, 0, 39, 5, 1, 0]) + b"all",
        "largest_payload": bytes([0, 1, 39, 9, 7, 63]) + bytes((i * 7) & 0xFF for i in range(8187)),
    }
    s["crc"] = {
        "check_value": b"123456789",
        "poll_query": bytes.fromhex("01270100 01A00F".replace(" ", "")),
        "empty": b"",
    }
    return s


def main():
    for target, files in seeds().items():
        d = os.path.join(ROOT, target)
        os.makedirs(d, exist_ok=True)  # inputs found by fuzzing stay beside the seeds
        for name, data in files.items():
            with open(os.path.join(d, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
