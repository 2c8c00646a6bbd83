#!/usr/bin/python3
"""A Modbus TCP server on 127.0.0.1 for the service benchmark (Debian's python3-pymodbus):
65,536 holding registers, coils, discrete inputs and input registers, all zero. Prints its port,
then serves until killed or until the time limit (seconds, the second argument) passes."""
import socket
import sys
import threading
import os

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartTcpServer


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    limit = float(sys.argv[1]) if len(sys.argv) > 1 else 600
    block = lambda: ModbusSequentialDataBlock(0, [0] * 65536)
    slave = ModbusSlaveContext(di=block(), co=block(), hr=block(), ir=block(), zero_mode=True)
    context = ModbusServerContext(slaves=slave, single=True)
    port = free_port()
    print(port, flush=True)
    threading.Timer(limit, lambda: os._exit(0)).start()
    StartTcpServer(context=context, address=("127.0.0.1", port))


if __name__ == "__main__":
    main()
