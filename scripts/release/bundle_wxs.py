#!/usr/bin/env python3
"""Writes the WiX source that installs a bundle's files (all but tovan.exe,
which tovan.wxs installs itself) as the component group BundleFiles.

    bundle_wxs.py BUNDLE SOURCE_PREFIX GUID_NAMESPACE > bundle-files.wxs

Each file gets its own component under INSTALLFOLDER, in folders as the
bundle has them. Sources are written as SOURCE_PREFIX/<relative path>.
Component GUIDs are derived from GUID_NAMESPACE (a GUID) and the file's
relative path, so they stay the same from one build to the next and differ
between products that use different namespaces. Names are written as XML
escapes them (&, quotes); a name that Windows cannot hold, or that wixl would
expand as a variable, is refused with a message naming it.
"""
import hashlib
import os
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Characters and names no Windows file name may have.
FORBIDDEN = re.compile(r'[<>:"|?*\\\x00-\x1f]')
DEVICES = {"con", "prn", "aux", "nul"} | {"com%d" % i for i in range(1, 10)} | {
    "lpt%d" % i for i in range(1, 10)}


def windows_name_problem(name):
    if FORBIDDEN.search(name):
        return "has a character Windows file names cannot hold"
    if name.endswith((".", " ")):
        return "ends in a dot or space, which Windows drops"
    if name.split(".")[0].lower() in DEVICES:
        return "is a device name on Windows"
    if "$(" in name:
        return "holds '$(', which wixl would read as one of its variables"
    return None


def ident(prefix, text):
    return prefix + hashlib.sha1(text.encode("utf-8")).hexdigest()[:32].upper()


def main(argv):
    if len(argv) != 4:
        print("usage: bundle_wxs.py BUNDLE SOURCE_PREFIX GUID_NAMESPACE", file=sys.stderr)
        return 2
    bundle, prefix, namespace = argv[1], argv[2], uuid.UUID(argv[3])
    out, refs, problems = [], [], []

    def walk(folder, rel, depth):
        pad = "  " * depth
        entries = sorted(os.listdir(folder))
        for name in entries:
            path, sub = os.path.join(folder, name), (rel + "/" + name if rel else name)
            problem = windows_name_problem(name)
            if problem:
                problems.append("%s %s" % (sub, problem))
                continue
            if os.path.isdir(path):
                out.append('%s<Directory Id="%s" Name=%s>' %
                           (pad, ident("d", sub), quoteattr(name)))
                walk(path, sub, depth + 1)
                out.append("%s</Directory>" % pad)
            elif sub != "tovan.exe":
                component = ident("c", sub)
                guid = str(uuid.uuid5(namespace, sub.lower())).upper()
                source = prefix + "/" + sub
                out.append('%s<Component Id="%s" Guid="{%s}" Win64="yes">' % (pad, component, guid))
                out.append('%s  <File Id="%s" Name=%s Source=%s KeyPath="yes"/>' %
                           (pad, ident("f", sub), quoteattr(name),
                            quoteattr(source)))
                out.append("%s</Component>" % pad)
                refs.append(component)

    walk(bundle, "", 3)
    if problems:
        for line in problems:
            print("bundle_wxs: %s" % line, file=sys.stderr)
        return 1
    print('<?xml version="1.0" encoding="utf-8"?>')
    print('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
    print("  <Fragment>")
    print('    <DirectoryRef Id="INSTALLFOLDER">')
    print("\n".join(out))
    print("    </DirectoryRef>")
    print('    <ComponentGroup Id="BundleFiles">')
    print("\n".join('      <ComponentRef Id="%s"/>' % r for r in refs))
    print("    </ComponentGroup>")
    print("  </Fragment>")
    print("</Wix>")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
