#!/usr/bin/python3
# A Modbus RTU slave built on pymodbus, serving slave 1 on a serial port:
# Modbus code nobody on this project wrote, for end-to-end tests. It holds 37
# holding registers with known values, prints READY once it listens, and
# writes its registers as JSON to --state after every write it serves.
# With --only-reading it plays a firmware that implements only the reads its
# own master sends: a read of any count but 37 is refused with exception 3
# (illegal data value), or left unanswered ("ignore").
import argparse
import asyncio
import json
import os

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.pdu import ExceptionResponse, ModbusExceptions
from pymodbus.register_read_message import ReadHoldingRegistersResponse
from pymodbus.server import StartAsyncSerialServer
from pymodbus.transaction import ModbusRtuFramer

# Register 1 first: measured 21,7 °C, zero -0,3, Termopar K, -100 to 1370 °C,
# sensor error "above", falling output, firmware 1,23, model TRV-C.
INITIAL = [0, 217, 0, 0xFFFD, 2, 0xFC18, 13700, 2, 1, 123, 10] + [0] * 26


class RecordingBlock(ModbusSequentialDataBlock):
    def __init__(self, address, values, state_path):
        super().__init__(address, values)
        self.state_path = state_path
        self.dump()

    def dump(self):
        tmp = self.state_path + ".tmp"
        with open(tmp, "w") as f:
            json.dump(self.values, f)
        os.replace(tmp, self.state_path)

    def setValues(self, address, values):
        super().setValues(address, values)
        self.dump()


def only_reading(mode):
    """The server's response manipulator for --only-reading MODE."""
    def manipulate(response):
        if not isinstance(response, ReadHoldingRegistersResponse) or len(response.registers) == 37:
            return response, False
        if mode == "ignore":
            response.should_respond = False
            return response, False
        refusal = ExceptionResponse(response.function_code, ModbusExceptions.IllegalValue)
        refusal.unit_id = response.unit_id
        refusal.transaction_id = response.transaction_id
        return refusal, False
    return manipulate


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--only-reading", choices=["refuse", "ignore"])
    args = parser.parse_args()
    # pymodbus addresses the block from 1: request address 0 is block address 1.
    block = RecordingBlock(1, list(INITIAL), args.state)
    context = ModbusServerContext(slaves={1: ModbusSlaveContext(hr=block)}, single=False)
    server = await StartAsyncSerialServer(context=context, framer=ModbusRtuFramer,
                                          port=args.port, baudrate=9600, bytesize=8,
                                          parity="N", stopbits=1, defer_start=True,
                                          response_manipulator=only_reading(args.only_reading)
                                          if args.only_reading else None)
    await server.start()
    print("READY", flush=True)
    await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
