#!/usr/bin/python3
"""A Modbus TCP server on 127.0.0.1 for the tests and the service benchmark (Debian's
python3-pymodbus): `modbus_server.py SECONDS [PORT]`. 65,536 holding registers, coils,
discrete inputs and input registers, all zero. Prints its port (a free one unless PORT is
given), then serves until killed or until SECONDS pass."""
import os
import socket
import sys
import threading

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else 600
    port = int(sys.argv[2]) if len(sys.argv) > 2 else free_port()
    block = lambda: ModbusSequentialDataBlock(0, [0] * 65536)
    slave = ModbusSlaveContext(di=block(), co=block(), hr=block(), ir=block(), zero_mode=True)
    context = ModbusServerContext(slaves=slave, single=True)
    print(port, flush=True)
    threading.Timer(limit, lambda: os._exit(0)).start()
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
