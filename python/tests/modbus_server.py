"""A Modbus TCP server on 127.0.0.1 for the value tests: `modbus_server.py PORT SECONDS`.

Holds every table the host maps (2,000 bits, 8,192 holding registers), all zero, and stops by
itself after SECONDS.
"""

import asyncio
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncTcpServer


def block(size):
    return ModbusSequentialDataBlock(0, [0] * size)


async def serve(port, seconds):
    store = ModbusSlaveContext(di=block(2000), co=block(2000), hr=block(8192), ir=block(1000),
                               zero_mode=True)
    context = ModbusServerContext(slaves=store, single=True)
    try:
        await asyncio.wait_for(StartAsyncTcpServer(context=context, address=("127.0.0.1", port)),
                               seconds)
    except asyncio.TimeoutError:
        pass


if __name__ == "__main__":
    asyncio.run(serve(int(sys.argv[1]), float(sys.argv[2])))
