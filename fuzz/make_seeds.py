#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus into fuzz/seeds/: the wire examples of the
value, call and reply formats as small binary files, and a few notation texts.
Run it after changing the list; the files are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "seeds")


def string(text):
    data = text.encode()
    return bytes([0x07, len(data)]) + data


def call(name, arguments=b"\x00"):
    return string(name) + arguments


# Values of the standard message codec, one per file.
VALUES = {
    "null": "00",
    "true": "01",
    "false": "02",
    "int32_minus_one": "03 FF FF FF FF",
    "int64_one": "04 01 00 00 00 00 00 00 00",
    "double_one": "06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
    "string_abc": "07 03 61 62 63",
    "string_empty": "07 00",
    "string_254": "07 FE FE 00" + " 61" * 254,
    "size_65535": "07 FE FF FF",
    "size_65536": "07 FF 00 00 01 00",
    "int32_list_one": "09 01 00 00 01 00 00 00",
    "int32_list_empty": "09 00",
    "int32_list_empty_then_value": "0C 02 09 00 03 05 00 00 00",
    "list_one_a": "0C 02 03 01 00 00 00 07 01 61",
    "map_a_true": "0D 01 07 01 61 01",
    "legacy_string_tag": "05 02 31 32",
    "unknown_tag": "0F",
    "truncated_int32": "03 01 02",
    "map_repeated_key": "0D 02 07 01 6B 03 01 00 00 00 07 01 6B 03 02 00 00 00",
    "truncated_list": "0C 02",
    "truncated_string": "07 05 61",
    "byte_list": "08 03 01 02 FF",
    "int64_list": "0A 01 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00",
    "double_list": "0B 01 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F",
    "float_list": "0E 02 00 00 00 00 80 3F 00 00 00 40",
    "hostile_list": "0C FF FF FF FF",
    "hostile_string": "07 FF FF FF FF",
    "hostile_list_full_size": "0C FF FF FF FF FF",
    "hostile_map_full_size": "0D FF FF FF FF FF",
    "hostile_string_full_size": "07 FF FF FF FF FF",
    "nested_lists": "0C 01" * 40 + " 00",
    # Two equal keys nested 40 lists deep: comparing them must take time in
    # proportion to their size, not to 2 to the power of their depth.
    "nested_list_keys": "0D 02" + ("0C 01" * 40 + " 00 00") * 2,
    "nan_key_map": "0D 02 06 00 00 00 00 00 00 00 00 00 00 00 00 00 F8 7F 01"
                   " 06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F 02",
    # Found by fuzzing: float-list keys, one holding a NaN, that the map
    # ordering cannot keep apart; the notation may refuse them as duplicates.
    "nan_float_list_keys": (
        "0D FF FF 0C 02 09 00 0C 00 00 00 00 00 00 FF FF FF FC 00 00 00 0E 02 00"
        " 00 31 00 06 00 00 00 00 00 00 6E 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 00 01 00 00 03 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 00 00 80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0E 02 00"
        " 00 31 00 05 FF FD 00 00 00 00 6E 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
        " 00 00 00 00 00 00 00 00 00 00 00 00 00 80 00 00 00 00 00 0E 02 00 00 31"
        " 03 FA FF FF 00 00 00 00 6E 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01"
        " 00 00 03 00 00 00 00 00 02 00 00 31 00 06 00 00 00 00 00 00 6E 00 00 00"
        " 00 00 00 00"),
}

# Method calls and replies of the standard method codec.
MESSAGES = {
    "call_stop_ringtone": call("stopRingtone"),
    "call_without_arguments": string("stopRingtone"),
    "call_int32_name": bytes.fromhex("03 01 00 00 00 00"),
    "call_set_volume": call("setVolume", bytes([0x0D, 0x01]) + string("volume") + b"\x06" +
                            b"\x00" * 2 + struct.pack("<d", 0.5)),
    "call_set_default_device": call("setSystemDefaultAudioDevice", bytes([0x0D, 0x01]) +
                                    string("deviceId") + string("{0.0.0.00000000}.{1}")),
    "reply_success_null": bytes.fromhex("00 00"),
    "reply_success_double": bytes.fromhex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
    "reply_success_int32": bytes.fromhex("00 03 05 00 00 00"),
    "reply_error_invalid_argument": b"\x01" + string("INVALID_ARGUMENT") +
                                    string("Expected a map of arguments") + b"\x00",
    "reply_error_empty_message": bytes.fromhex("01 07 01 58 00 00"),
    "reply_error_int32_code": bytes.fromhex("01 03 05 00 00 00 00 00"),
    "reply_unknown_status": bytes.fromhex("02"),
    "reply_devices": b"\x00\x0C\x01\x0D\x03" + string("id") + string("{0.0.0.00000000}.{1}") +
                     string("isDefault") + b"\x01" + string("name") + string("Desk Speakers"),
}

# Notation texts, for the notation parser's target.
NOTATION = {
    "text_value": '[null, true, 1, 1L, 1.0, -0.0, nan, "a\\x00\\u{E9}", bytes[01 FF], '
                  'i32[1], i64[2], f64[inf], f32[0.5], {"k": {}}]',
    "text_call": 'setVolume({"volume": 0.5})',
    "text_reply": 'error("INVALID_ARGUMENT", "Expected a map of arguments", null)',
    "text_nan_bits": "f64[nan(0x7FF4000000000000)]",
}


def main():
    os.makedirs(SEEDS, exist_ok=True)
    for name in os.listdir(SEEDS):
        os.remove(os.path.join(SEEDS, name))
    for name, text in VALUES.items():
        MESSAGES["value_" + name] = bytes.fromhex(text)
    for name, text in NOTATION.items():
        MESSAGES[name] = text.encode()
    for name, data in MESSAGES.items():
        with open(os.path.join(SEEDS, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    main()
