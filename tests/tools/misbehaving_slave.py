#!/usr/bin/python3
# A Modbus RTU slave 1 that misbehaves on purpose on a serial port, as a
# device on a bad line does: late replies (every one, or one), each reply sent
# twice, one reply with a spoiled CRC, another talker's burst of bytes at a
# steady period. Its CRC is pymodbus's. It serves the 37 holding registers of
# pymodbus_slave.py, stores what is written, answers in order (a reply never
# leaves before the one ahead of it), prints READY once it listens and writes
# its registers as JSON to --state after every write.
import argparse
import json
import os
import queue
import threading
import time

import serial
from pymodbus.utilities import computeCRC

INITIAL = [0, 217, 0, 0xFFFD, 2, 0xFC18, 13700, 2, 1, 123, 10] + [0] * 26


def sealed(frame):
    return frame + computeCRC(frame).to_bytes(2, "big")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--late", type=int, default=0, help="every reply, ms")
    parser.add_argument("--late-once", type=int, default=0, help="ms, on request --on")
    parser.add_argument("--bad-crc-once", action="store_true", help="on request --on")
    parser.add_argument("--on", type=int, default=2)
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--copies", type=int, default=1)
    parser.add_argument("--copy-gap", type=int, default=2, help="ms")
    parser.add_argument("--noise-every", type=int, default=0, help="ms")
    parser.add_argument("--noise-bytes", type=int, default=16)
    args = parser.parse_args()

    registers = list(INITIAL)
    port = serial.Serial(args.port, 9600, timeout=0.002)
    lock = threading.Lock()
    outgoing = queue.Queue()

    def dump():
        with open(args.state + ".tmp", "w") as f:
            json.dump(registers, f)
        os.replace(args.state + ".tmp", args.state)

    def send(data):
        with lock:
            port.write(data)
            port.flush()

    def sender():
        while True:
            due, reply = outgoing.get()
            time.sleep(max(0.0, due - time.monotonic()))
            for copy in range(args.copies):
                if copy:
                    time.sleep(args.copy_gap / 1000)
                send(reply)

    def noise():
        while True:
            time.sleep(args.noise_every / 1000)
            send(b"\xa5" * args.noise_bytes)

    def answer(request):
        function = request[1]
        start = int.from_bytes(request[2:4], "big")
        count = int.from_bytes(request[4:6], "big")
        if function == 3 and start + count <= len(registers):
            words = b"".join(r.to_bytes(2, "big") for r in registers[start:start + count])
            return sealed(bytes([1, 3, 2 * count]) + words)
        if function == 16 and start + count <= len(registers):
            for k in range(count):
                registers[start + k] = int.from_bytes(request[7 + 2 * k:9 + 2 * k], "big")
            dump()
            return sealed(request[:6])
        return sealed(bytes([1, function | 0x80, 2]))

    dump()
    threading.Thread(target=sender, daemon=True).start()
    if args.noise_every:
        threading.Thread(target=noise, daemon=True).start()
    print("READY", flush=True)

    buffer = b""
    served = 0
    last_due = 0.0
    while True:
        buffer += port.read(256)
        while len(buffer) >= 8:
            length = 8 if buffer[1] == 3 else 9 + buffer[6]
            if buffer[0] != 1 or buffer[1] not in (3, 16) or length > 256:
                buffer = buffer[1:]
                continue
            if len(buffer) < length:
                break
            request, buffer = buffer[:length], buffer[length:]
            if computeCRC(request[:-2]).to_bytes(2, "big") != request[-2:]:
                buffer = request[1:] + buffer
                continue
            served += 1
            if args.silent:
                continue
            reply = answer(request)
            late = args.late + (args.late_once if served == args.on else 0)
            if args.bad_crc_once and served == args.on:
                reply = reply[:-1] + bytes([reply[-1] ^ 0x5A])
            last_due = max(time.monotonic() + late / 1000, last_due)
            outgoing.put((last_due, reply))


if __name__ == "__main__":
    main()
