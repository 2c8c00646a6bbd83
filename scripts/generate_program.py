#!/usr/bin/python3
"""Writes a PLCopen XML program of a chosen number of global variables, for load tests and
benchmarks: INT, REAL and BOOL variables, structures (Motor), arrays of INT and located words,
named V00000, V00001, ... so that names and positions are predictable."""
import argparse

HEADER = """<?xml version="1.0" encoding="utf-8"?>
<project xmlns="http://www.plcopen.org/xml/tc6_0201" xmlns:xhtml="http://www.w3.org/1999/xhtml">
  <fileHeader companyName="Varbank" productName="generated" productVersion="1.0"
              creationDateTime="2024-01-15T08:00:00"/>
  <contentHeader name="{title}" modificationDateTime="2024-01-15T08:00:00"/>
  <types>
    <dataTypes>
      <dataType name="Motor">
        <baseType>
          <struct>
            <variable name="Running"><type><BOOL/></type></variable>
            <variable name="Speed"><type><INT/></type></variable>
            <variable name="Current"><type><REAL/></type></variable>
          </struct>
        </baseType>
      </dataType>
    </dataTypes>
    <pous/>
  </types>
  <instances>
    <configurations>
      <configuration name="Config">
        <globalVars>
"""
FOOTER = """        </globalVars>
      </configuration>
    </configurations>
  </instances>
</project>
"""
KINDS = [
    "<type><INT/></type>",
    "<type><REAL/></type>",
    "<type><BOOL/></type>",
    '<type><derived name="Motor"/></type>',
    '<type><array><dimension lower="0" upper="9"/><baseType><INT/></baseType></array></type>',
]


def variable(index):
    """The declaration of variable number index; every sixth is a located word."""
    name = f"V{index:05d}"
    if index % 6 == 5:
        return (f'          <variable name="{name}" address="%MW{index}">'
                f"<type><INT/></type></variable>\n")
    comment = f"<documentation><xhtml:p>variable {index}</xhtml:p></documentation>"
    return f'          <variable name="{name}">{KINDS[index % 5]}{comment}</variable>\n'


def write_program(path, count, title="generated"):
    """Writes the program of count variables to path."""
    with open(path, "w", encoding="utf-8") as out:
        out.write(HEADER.format(title=title))
        for index in range(count):
            out.write(variable(index))
        out.write(FOOTER)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output")
    parser.add_argument("--variables", type=int, default=100000)
    parser.add_argument("--title", default="generated")
    args = parser.parse_args()
    write_program(args.output, args.variables, args.title)


if __name__ == "__main__":
    main()
