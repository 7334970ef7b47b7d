#!/usr/bin/env python3
"""Module-definition files of the Windows DLL, generated from the public headers.

Every function declared `TQLA_EXPORT <result> TQLA_API <Name>(<arguments>);` is
exported under its plain name. For 32-bit Windows, the functions of the host
API header (the first one given) are also exported under the name a C++
compiler for the MSVC ABI gives a __stdcall function of that signature
("?Name@@YG<result><arguments>@Z"), which is what the hosts link against. The
header spells the API's long and unsigned long as TqlaLong and TqlaULong, so
that the signature can be read from it.

Writes into the output folder:
  tqla.def      the DLL's export table, for the linker (with --kill-at on i686)
  tqla-c.def    i686: the _Name@N names of C hosts, for the import library
  tqla-cxx.def  i686: the decorated names of C++ hosts, for the import library
"""
import argparse
import os
import re
import sys

# MSVC type codes of the header's argument and result types.
BASIC = {
    "void": "X", "char": "D", "uint8_t": "E", "int16_t": "F", "uint16_t": "G",
    "int32_t": "H", "uint32_t": "I", "TqlaLong": "J", "TqlaULong": "K",
    "CCyUSBDevice": "VCCyUSBDevice@@",
}
DECLARATION = re.compile(r"TQLA_EXPORT\s+([^;#]*?)\s*\bTQLA_API\s+(\w+)\s*\(([^;]*?)\)\s*;", re.S)


def type_code(text):
    """The MSVC code of a C type such as 'const char*' or 'TqlaULong'."""
    text = " ".join(text.split())
    pointers = text.count("*")
    base = text.replace("*", "").strip()
    const = base.startswith("const ")
    base = base[len("const "):] if const else base
    if base not in BASIC:
        raise ValueError(f"type {text!r} has no decoration")
    if pointers == 0:
        return BASIC[base]
    if pointers > 1:
        raise ValueError(f"type {text!r}: pointers to pointers are not in the API")
    return ("PB" if const else "PA") + BASIC[base]


def parameter_type(parameter):
    """'uint8_t* buffer' -> 'uint8_t*'."""
    match = re.match(r"(.*?[\s*])\s*\w+$", parameter.strip())
    if not match:
        raise ValueError(f"parameter {parameter!r} has no name")
    return match.group(1)


def declarations(header):
    text = re.sub(r"/\*.*?\*/", " ", open(header).read(), flags=re.S)
    for result, name, arguments in DECLARATION.findall(text):
        arguments = " ".join(arguments.split())
        parameters = [] if arguments in ("", "void") else [parameter_type(p) for p in arguments.split(",")]
        yield name, result, parameters


def decorated(name, result, parameters):
    """The MSVC C++ name of a global __stdcall function: argument types of more
    than one character are remembered, and a repeat is written as the digit of
    its first appearance (at most ten are remembered; the result is not)."""
    remembered = []
    codes = []
    for parameter in parameters:
        code = type_code(parameter)
        if len(code) > 1 and code in remembered:
            codes.append(str(remembered.index(code)))
            continue
        if len(code) > 1 and len(remembered) < 10:
            remembered.append(code)
        codes.append(code)
    arguments = "".join(codes) + "@" if codes else "X"
    return f"?{name}@@YG{type_code(result)}{arguments}Z"


# Pointer types of the headers that are not written with a '*': their
# function pointer typedefs, read from the headers.
POINTER_TYPES = set()
FUNCTION_POINTER = re.compile(r"typedef[^;]*?\(\s*(?:TQLA_API\s*)?\*\s*(\w+)\s*\)", re.S)


def stack_bytes(parameters):
    """Bytes a __stdcall callee removes: every API argument takes one 4-byte slot."""
    for parameter in parameters:
        if "*" not in parameter and parameter.strip() not in POINTER_TYPES:
            type_code(parameter)
    return 4 * len(parameters)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=("i686", "x86_64"), required=True)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("host_header")
    parser.add_argument("other_headers", nargs="*")
    args = parser.parse_args()

    headers = [args.host_header] + args.other_headers
    for header in headers:
        POINTER_TYPES.update(FUNCTION_POINTER.findall(open(header).read()))
    exports = []  # (name, parameters, decorate)
    for index, header in enumerate(headers):
        for name, result, parameters in declarations(header):
            exports.append((name, result, parameters, index == 0))
    if not exports:
        sys.exit(f"{args.host_header}: no exports found")

    os.makedirs(args.out_dir, exist_ok=True)
    dll = ["LIBRARY tqla.dll", "EXPORTS"]
    c_names = ["LIBRARY tqla.dll", "EXPORTS"]
    cxx_names = ["LIBRARY tqla.dll", "EXPORTS"]
    for name, result, parameters, decorate in exports:
        if args.arch == "x86_64":
            dll.append(name)
            continue
        internal = f"{name}@{stack_bytes(parameters)}"
        dll.append(internal)
        c_names.append(internal)
        if decorate:
            cxx = decorated(name, result, parameters)
            dll.append(f"{cxx} = {internal}")
            cxx_names.append(cxx)
    outputs = {"tqla.def": dll}
    if args.arch == "i686":
        outputs.update({"tqla-c.def": c_names, "tqla-cxx.def": cxx_names})
    for file_name, lines in outputs.items():
        path = os.path.join(args.out_dir, file_name)
        text = "\n".join(lines) + "\n"
        if not os.path.exists(path) or open(path).read() != text:
            with open(path, "w") as out:
                out.write(text)


if __name__ == "__main__":
    main()
