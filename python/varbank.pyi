"""The symbol dictionary of a PLC application, from Python.

varbank.load(path) imports a PLCopen TC6 XML program and builds its dictionary; the Dictionary
resolves item names (MOTOR1.SPEED, TAB[4].X, STATUS.3) into PLC memory positions, browses the
name space page by page, compares build stamps and writes the quick-save dump, and reads and
writes the values of the names on the program's memory image or on a PLC over Modbus TCP.
Calls release the GIL, so threads resolve in parallel.
"""

import datetime
import os
from typing import Any, Iterable, Iterator, Literal, Mapping, Optional, Union

_Path = Union[str, os.PathLike[str]]
# What read() gives: an elementary value, or a dict (structure, function block) or list
# (array) of them.
_Value = Union[bool, int, float, str, datetime.timedelta, datetime.date, datetime.time,
               datetime.datetime, list[Any], dict[str, Any]]
# What write() takes.
_Written = Union[bool, int, float, str, datetime.timedelta, datetime.date, datetime.time,
                 datetime.datetime]

class ProgramError(Exception):
    """A PLCopen file that does not import.

    str(error) holds every 'file:line: reason', one per line.
    """

    errors: list[str]
    """The errors alone, 'file:line: reason' each, in line order."""
    lines: list[str]
    """Every line the import reported, warnings included, in line order."""

class UnknownItem(LookupError):
    """A name the dictionary refused or does not know, or a browse path that leads to no
    structure, array or function block."""

    name: str
    reason: str

class ValueReadError(OSError):
    """A value the memory did not give: a Modbus request refused, timed out or answered with
    an exception, a name with no Modbus place, an opaque library type, a read whose structures
    and arrays hold more than 10,000 leaves together."""

    name: str
    reason: str

class ValueWriteError(OSError):
    """A write the memory did not carry out (a Modbus request refused, timed out or answered
    with an exception, a name with no Modbus place); the value itself was valid."""

    name: str
    reason: str
    written: list[str]
    """The names write_many wrote before the failure."""

class Item:
    """Where an item name lives: the physical record the dictionary gave.

    resolve() returns resolved items only; resolve_many() also returns the refused names, with
    resolved False and the reason. The fields of a refused item other than name, resolved and
    reason are 0, '' or None.
    """

    @property
    def name(self) -> str:
        """The item name as asked."""
    @property
    def resolved(self) -> bool:
        """True when the dictionary resolved the name."""
    @property
    def reason(self) -> str:
        """Why the name was refused; '' when resolved."""
    @property
    def address(self) -> str:
        """The direct address (%MW10.3, %IX0.1), or '' when the item has none."""
    @property
    def block(self) -> int:
        """Memory block: 1 %MW words, 2 %M bits, 3 unlocated, 4 %I, 5 %Q, 6 to 8 location
        paths of %I, %Q and %M, one slot each."""
    @property
    def offset(self) -> int:
        """Byte offset (bit offset in block 2)."""
    @property
    def size(self) -> int:
        """Size in bytes (a bit reads as its 2-byte word)."""
    @property
    def bit(self) -> Optional[int]:
        """The bit within the element, or None."""
    @property
    def type_name(self) -> str:
        """The type name (INT, WORD, FILLSTATION, ...)."""
    @property
    def type_code(self) -> int:
        """The dictionary's 32-bit type code."""
    @property
    def kind(self) -> str:
        """The type's kind: EDT, DDT, Unknown, ..."""
    @property
    def info(self) -> str:
        """The dictionary's information text."""
    @property
    def comment(self) -> str:
        """The variable's or member's comment."""
    @property
    def access_kind(self) -> int:
        """The record's access kind."""
    @property
    def area_kind(self) -> int:
        """The record's area kind (2 and above: a function block's local area)."""
    @property
    def sub_offset(self) -> int:
        """The record's sub-offset."""
    @property
    def sub_size(self) -> int:
        """The record's sub-size."""
    @property
    def element_index(self) -> int:
        """The record's element index."""
    @property
    def stamp_sum(self) -> int:
        """The record's stamp sum."""
    @property
    def attribute(self) -> int:
        """The record's attribute word."""

class Child:
    """One child listed by Dictionary.browse() or walk()."""

    @property
    def name(self) -> str:
        """The child's own name (Speed, Conveyors[2])."""
    @property
    def path(self) -> str:
        """The full item name (Motor1.Speed), for resolve()."""
    @property
    def item_id(self) -> str:
        """The dictionary's item identifier: dictionary name, '!', path."""
    @property
    def has_children(self) -> bool:
        """True for a branch (structure, array, function block)."""

class BrowseIterator(Iterator[Child]):
    """A lazy iterator of Child: it fetches the next page from the dictionary's continuation
    point when the current one is used up."""

    def __iter__(self) -> BrowseIterator: ...
    def __next__(self) -> Child:
        """The next child; StopIteration at the end."""

class Change:
    """One change of a subscribed value."""

    @property
    def name(self) -> str:
        """The leaf's full name (Motor1.Speed for a member of Motor1)."""
    @property
    def value(self) -> Optional[_Value]:
        """The value, converted as read() converts it; None on an error."""
    @property
    def type(self) -> Optional[str]:
        """The type as the program writes it, or None."""
    @property
    def error(self) -> Optional[str]:
        """Why there is no value, or None."""
    @property
    def time(self) -> datetime.datetime:
        """When the value was sampled: a timezone-aware UTC datetime."""

class Subscription(Iterator[Change]):
    """The changes of subscribed names (made by Dictionary.subscribe()).

    Iterating waits for each change; the first ones are every leaf's current value (or error),
    then only changes. Use it in a with block, or call close().
    """

    def __iter__(self) -> Subscription: ...
    def __next__(self) -> Change:
        """The next change, waiting for it; StopIteration once closed."""
    def next(self, timeout: Optional[float] = None) -> Optional[Change]:
        """The next change, waiting at most timeout seconds (None: until one comes); None when
        none came in time or the subscription is closed."""
    def close(self) -> None:
        """Ends the subscription; changes not taken are dropped."""
    def __enter__(self) -> Subscription: ...
    def __exit__(self, *args: object) -> bool: ...
    @property
    def closed(self) -> bool:
        """True once closed."""
    @property
    def names(self) -> list[str]:
        """The names subscribed, as given."""
    @property
    def interval(self) -> float:
        """The sampling interval in seconds, as the sampler took it."""
    @property
    def note(self) -> str:
        """Why the interval differs from the one asked for, or ''."""
    @property
    def merged(self) -> int:
        """Changes merged into newer ones because they were not taken in time."""

class Dictionary:
    """The dictionary of one imported PLCopen program (made by varbank.load()).

    Every method may be called from several threads at once.
    """

    @property
    def name(self) -> str:
        """The dictionary name: the file name without folder and extension."""
    @property
    def path(self) -> str:
        """The file the dictionary was built from."""
    @property
    def warnings(self) -> list[str]:
        """The import's warnings, 'file:line: reason' each, in line order, then the initial
        values that do not fit the memory image, 'file: name: reason' each."""
    @property
    def stamp(self) -> str:
        """The build stamp: five hexadecimal words joined by colons."""
    def resolve(self, name: str) -> Item:
        """Resolves one item name (Motor1.Speed, Tab[4].X, Status.3) into an Item.

        Raises UnknownItem, with the reason, when the name is refused.
        """
    def resolve_many(self, names: Iterable[str]) -> list[Item]:
        """Resolves every name of an iterable; one Item per name, in order.

        A refused name gives an Item with resolved False and the reason; nothing is raised
        for it.
        """
    def browse(
        self,
        path: str = "",
        pattern: str = "*",
        kind: Literal["all", "leaves", "branches", "branches_only"] = "all",
        var_type: Union[None, int, str] = None,
        page_size: int = 1000,
    ) -> BrowseIterator:
        """Lists the children of a position (the root when path is ''), lazily.

        pattern: a name prefix, optionally ending in '*'. kind: 'all', 'leaves', 'branches' or
        'branches_only'. var_type: None, a variant type number or name (I2, I4, R4, R8, BOOL,
        UI1, UI2, UI4). page_size: children fetched per call, following the continuation point
        (0: everything at once). Raises UnknownItem when the path leads to no structure, array
        or function block.
        """
    def walk(self, path: str = "", page_size: int = 1000) -> BrowseIterator:
        """Lists every child below a position (the whole tree by default), depth first: each
        branch is followed by its own children."""
    def compare_stamp(self, other_stamp: str) -> Literal["OK", "PARTIAL", "MISMATCH"]:
        """Compares this dictionary's stamp with another build's stamp text (that of the
        application running in the PLC): 'OK' (the same build), 'PARTIAL' (only comments or
        initial values differ) or 'MISMATCH'. Raises ValueError for a malformed text."""
    def dump(self, directory: _Path) -> str:
        """Writes the quick-save dump <directory>/<name>.kvxav and returns its path.

        Only a complete file replaces an earlier dump. Raises OSError when the folder is
        missing or the file cannot be written.
        """
    def info(self) -> dict[str, Union[int, str]]:
        """What the dictionary holds: a dict of file, dictionary, project, variables,
        structures, function_blocks, arrays, members, words, bits, input_bytes, output_bytes,
        input_slot_bytes, output_slot_bytes, memory_slot_bytes and stamp."""

    def read(self, name: str) -> _Value:
        """The value of an item name, from the memory image or the PLC.

        INT, REAL and the other numbers give int or float, BOOL and bits (Status.3) bool,
        STRING and WSTRING str, an enumeration its int. TIME and LTIME give a
        datetime.timedelta, DATE a datetime.date, TOD a datetime.time and DT a
        datetime.datetime (naive: the PLC's clock), to the microsecond; a date beyond the years
        1 to 9999 stays its IEC text. A structure or function block read whole gives a dict of
        its members, an array a list (a list per dimension). Raises UnknownItem when the name
        is refused, ValueReadError (an OSError) when the memory does not give the value: a
        Modbus request refused, timed out or answered with an exception, a name with no Modbus
        place.
        """
    def read_many(self, names: Iterable[str]) -> list[_Value]:
        """The values of every name of an iterable, in order, read in one batch (neighbouring
        Modbus registers in one request).

        Raises as read() does for the first name that has no value.
        """
    def write(self, name: str, value: _Written) -> None:
        """Writes a value to an elementary item (a bit, a member, an element).

        value: bool, int, float or str (read as an IEC literal of the item's type: 16#FF, T#2s,
        TRUE, an enumeration name); a datetime.timedelta, or an int or float of milliseconds,
        for TIME and LTIME; a datetime.date, time or datetime for DATE, TOD and DT. Raises
        ValueError, writing nothing, for a value out of range, of the wrong type, a text longer
        than its size or a structure written whole; TypeError for another kind of object;
        UnknownItem for a refused name; ValueWriteError (an OSError) when the memory does not
        take the write.
        """
    def write_many(self, values: Mapping[str, _Written]) -> None:
        """Writes a mapping of names to values, in its order.

        Every name and value is checked first: a refused name or a bad value raises as write()
        does before anything is written. A failure of the memory itself stops the writes and
        raises ValueWriteError, whose attribute written lists the names written before it.
        """

    def subscribe(
        self, names: Union[str, Iterable[str]], interval: float = 0.1, deadband: float = 0.0
    ) -> Subscription:
        """Subscribes to names (one str or an iterable of str): a Subscription that gives a
        Change whenever a value changes, sampled every interval seconds (at least 0.01 on the
        memory image and 0.05 on a PLC, at most 3600; outside, it is moved into range with a
        RuntimeWarning). A structure, array or function block arrives as its leaves. A number
        is sent again only once it moved by more than deadband. Raises ValueError for a
        malformed name, interval or deadband, UnknownItem for a name the dictionary refuses.
        """

def load(
    path: _Path,
    strict: bool = False,
    modbus: Optional[str] = None,
    word_order: Literal["high-first", "low-first"] = "high-first",
    map: Literal["open-runtime", "flat"] = "open-runtime",
    timeout: float = 1.0,
) -> Dictionary:
    """Imports a PLCopen TC6 XML file and builds its dictionary.

    strict=True refuses a file that uses types it does not declare (library types); otherwise
    they become opaque 2-byte structures, with a warning in Dictionary.warnings. Raises
    ProgramError, with every 'file:line: reason', when the file cannot be read or imported.

    Values are read and written on the program's memory image, filled with its initial values
    (those that do not fit join warnings), or on a PLC over Modbus TCP with
    modbus='HOST[:PORT][/UNIT]' (port 502, unit 1). word_order: 'high-first' or 'low-first',
    the register order of 32- and 64-bit values. map: 'open-runtime' (%MW from holding register
    1024) or 'flat' (%MWn is holding register n, %Mn coil n; %I and %Q have no Modbus place).
    timeout: seconds for connecting and for each answer. A malformed modbus text, word order,
    map or timeout raises ValueError.
    """
