"""The DLL runs on a stack aligned to 4 bytes only, all a 32-bit host built by
another compiler promises: no function in it makes an aligned SSE access to
its stack unless it has aligned the stack itself first. A legacy SSE
instruction on a 16-byte stack slot that is not 16-byte aligned faults.

The DLL is stripped; its functions are told apart by the unwind table
(.eh_frame) it keeps for them. Code outside every function listed there
counts as a function that never aligns its stack.

usage: check_dll_stack_alignment.py Sumbrel.dll"""

import bisect
import re
import struct
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"

# Legacy SSE instructions that take an unaligned memory operand: the
# unaligned moves, and those that read or write 8 bytes or fewer.
UNALIGNED = re.compile(r"(movups|movupd|movdqu|lddqu|movd|movq|movlp[sd]|movhp[sd]|movddup"
                       r"|maskmovdqu|pinsr.|pextr.|extractps|insertps|pmov[sz]x..|cvtsi2s[sd]l?"
                       r"|cvtdq2pd|cvtps2pd|cvtt?s[sd]2(s[sd]|si)l?"
                       r"|(add|sub|mul|div|min|max|sqrt|rsqrt|rcp|round|u?comi|cmp[a-z]*|mov)"
                       r"s[sd])$")
# VEX and EVEX instructions take an unaligned operand, except these.
ALIGNED_VEX = re.compile(r"(vmovap[sd]|vmovdqa(32|64)?|vmovntdqa?|vmovntp[sd])$")
STACK_OPERAND = re.compile(r"\((%esp|%ebp)[,)]")
VECTOR_REGISTER = re.compile(r"%[xyz]mm")
REALIGNMENT = re.compile(r"\$0x(ffffff[0-9a-f]0),%esp$")


def sections(image):
    """name -> (virtual address, bytes) from the PE section table."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    if image[header:header + 4] != b"PE\0\0":
        raise SystemExit("not a PE image")
    count, = struct.unpack_from("<H", image, header + 6)
    optional_size, = struct.unpack_from("<H", image, header + 20)
    image_base, = struct.unpack_from("<I", image, header + 24 + 28)
    table = {}
    for i in range(count):
        at = header + 24 + optional_size + 40 * i
        name = image[at:at + 8].rstrip(b"\0").decode()
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", image, at + 8)
        table[name] = (image_base + address, image[raw_at:raw_at + min(raw_size, virtual_size)])
    return table


def uleb128(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, at


def pointer(data, at, encoding, address):
    """A pointer of the given DWARF encoding at data[at], data starting at
    address in memory."""
    if encoding & 0x0F not in (0x03, 0x0B, 0x00):
        raise SystemExit("unwind table pointer encoding 0x%02x not understood" % encoding)
    value, = struct.unpack_from("<i" if encoding & 0x0F == 0x0B else "<I", data, at)
    if encoding & 0x70 == 0x10:
        value += address + at
    elif encoding & 0x70:
        raise SystemExit("unwind table pointer encoding 0x%02x not understood" % encoding)
    return value & 0xFFFFFFFF


def functions(address, data):
    """(start, end) of every function the unwind table describes."""
    encodings, found, at = {}, [], 0
    while at + 4 <= len(data):
        length, = struct.unpack_from("<I", data, at)
        if length == 0:
            break
        body, end = at + 4, at + 4 + length
        cie_pointer, = struct.unpack_from("<I", data, body)
        if cie_pointer == 0:
            # A common entry: the augmentation string tells where the
            # encoding of the functions' addresses is.
            cursor = body + 5
            terminator = data.index(b"\0", cursor)
            augmentation = data[cursor:terminator].decode()
            _, cursor = uleb128(data, terminator + 1)  # code alignment
            _, cursor = uleb128(data, cursor)  # data alignment, its sign unneeded
            cursor += 1  # return address register
            encoding = 0
            if augmentation.startswith("z"):
                _, cursor = uleb128(data, cursor)
                for letter in augmentation[1:]:
                    if letter == "R":
                        encoding = data[cursor]
                        cursor += 1
                    elif letter == "P":
                        cursor += 1 + 4
                    elif letter == "L":
                        cursor += 1
            encodings[at] = encoding
        else:
            encoding = encodings[body - cie_pointer]
            start = pointer(data, body + 4, encoding, address)
            size = pointer(data, body + 8, encoding & 0x0F, address)
            found.append((start, start + size))
        at = end
    return sorted(found)


def needs_alignment(mnemonic, operands):
    if not VECTOR_REGISTER.search(operands) or not STACK_OPERAND.search(operands):
        return False
    if mnemonic.startswith("v"):
        return bool(ALIGNED_VEX.match(mnemonic))
    return not UNALIGNED.match(mnemonic)


def main():
    dll = sys.argv[1]
    with open(dll, "rb") as stream:
        table = sections(stream.read())
    unwind = [name for name in table if name.startswith(".eh_fram")]
    if not unwind:
        raise SystemExit("%s has no unwind table to tell its functions apart" % dll)
    ranges = functions(*table[unwind[0]])
    starts = [start for start, _ in ranges]
    listing = subprocess.run([OBJDUMP, "-d", "--no-show-raw-insn", dll], check=True,
                             capture_output=True, text=True).stdout
    realigned, faults, checked, instructions = set(), [], 0, 0
    for line in listing.splitlines():
        match = re.match(r"\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", line)
        if not match:
            continue
        instructions += 1
        address, mnemonic, operands = int(match.group(1), 16), match.group(2), match.group(3)
        index = bisect.bisect_right(starts, address) - 1
        function = index if index >= 0 and address < ranges[index][1] else None
        realignment = REALIGNMENT.search(operands) if mnemonic == "and" else None
        if realignment and function is not None:
            mask = int(realignment.group(1), 16)
            if (-mask & 0xFFFFFFFF) >= 16:
                realigned.add(function)
        if needs_alignment(mnemonic, operands):
            checked += 1
            if function not in realigned:
                where = "0x%x" % ranges[function][0] if function is not None else "no function"
                faults.append("0x%x (in %s): %s %s" % (address, where, mnemonic, operands))
    if not instructions or not ranges:
        raise SystemExit("no code or no functions found in %s" % dll)
    for fault in faults:
        print("aligned stack access without aligning the stack first:", fault)
    print("%d functions, %d aligned SSE accesses to the stack, %d unsafe at 4-byte alignment"
          % (len(ranges), checked, len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
