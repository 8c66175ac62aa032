"""Copies of test DLLs that lack one export, for the cases of a system DLL
without one of its functions.

without_export() renames the export in the copy by replacing the last letter
of its name with '_' (same length, so nothing else in the file moves), so
GetProcAddress no longer finds it: to the program it is a DLL built without
that function. The name table must stay sorted for the loader's binary
search; the function checks that.
"""

import pefile


def export_names(path):
    """The exported names of a DLL, in table order."""
    pe = pefile.PE(str(path))
    try:
        return [s.name.decode() for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name]
    finally:
        pe.close()


def without_export(source, target, name):
    """Writes target: source with its export `name` renamed. Returns target."""
    pe = pefile.PE(str(source))
    try:
        symbols = [s for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name]
        wanted = name.encode()
        matches = [s for s in symbols if s.name == wanted]
        if len(matches) != 1:
            raise ValueError("%s does not export %s" % (source, name))
        offset = matches[0].name_offset
        names_after = [(name[:-1] + "_") if s.name == wanted else s.name.decode() for s in symbols]
        if names_after != sorted(names_after):
            raise ValueError("renaming %s would unsort the export names of %s" % (name, source))
        data = bytearray(pe.__data__)
    finally:
        pe.close()
    if data[offset:offset + len(wanted) + 1] != wanted + b"\0":
        raise ValueError("export name of %s not where the table says" % name)
    data[offset + len(wanted) - 1] = ord("_")
    with open(target, "wb") as f:
        f.write(data)
    return target
