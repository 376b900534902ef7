#!/usr/bin/env python3
"""Builds the MSI package from installer/AuthClient.wxs with wixl (msitools).

    build_msi.py --exe AuthClient.exe --icon app.ico --version X.Y.Z --company TEXT \\
                 --out AuthClient-X.Y.Z.msi installer/AuthClient.wxs

wixl writes the database in code page 0 and either drops a Russian text or fails on it. So
wixl gets ASCII stand-ins for them; afterwards this sets the database's code page to 1251 and
stores the real texts from the .wxs with msibuild. The codes are derived, not random, so that a package is
the same for the same inputs: the ProductCode from the UpgradeCode and the version, the
PackageCode (which must differ whenever the package does) from everything that goes into it.
With SOURCE_DATE_EPOCH set, wixl and msibuild run at that time (faketime), so that the
package's time stamps are the same too.
"""

import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import uuid
import xml.etree.ElementTree as ET

WIX = "{http://schemas.microsoft.com/wix/2006/wi}"
CODE_PAGE = 1251


def derived_guid(namespace, *parts):
    return "{" + str(uuid.uuid5(namespace, "\n".join(parts))).upper() + "}"


def file_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def sql_text(text):
    if "'" in text:
        sys.exit(f"build_msi.py: a text with a quote cannot be stored: {text}")
    return f"'{text}'"


def ascii_only(tree, variables):
    """Fills in the variables and puts ASCII stand-ins for the texts that go into the database's
    string pool; returns the SQL that stores the real texts in their place afterwards."""
    def substitute(text):
        return re.sub(r"\$\(var\.(\w+)\)", lambda m: variables[m.group(1)], text)

    for element in tree.iter():
        for name, value in element.attrib.items():
            element.set(name, substitute(value))

    product = tree.getroot().find(f"{WIX}Product")
    places = [(product, "Name", "Property", "Value", "Property", "ProductName"),
              (product, "Manufacturer", "Property", "Value", "Property", "Manufacturer")]
    for shortcut in product.iter(f"{WIX}Shortcut"):
        places.append((shortcut, "Name", "Shortcut", "Name", "Shortcut", shortcut.get("Id")))
    for condition in product.findall(f"{WIX}Condition"):
        places.append((condition, "Message", "LaunchCondition", "Description", "Condition",
                       condition.text.strip()))
    upgrade = product.find(f"{WIX}MajorUpgrade")
    if upgrade is not None and upgrade.get("DowngradeErrorMessage"):
        places.append((upgrade, "DowngradeErrorMessage", "LaunchCondition", "Description",
                       "Condition", "NOT WIX_DOWNGRADE_DETECTED"))

    queries = []
    for number, (element, name, table, column, key, row) in enumerate(places):
        queries.append(f"UPDATE `{table}` SET `{column}`={sql_text(element.get(name))} "
                       f"WHERE `{key}`={sql_text(row)}")
        element.set(name, f"text{number}")
    for element in tree.iter():
        if not all(value.isascii() for value in element.attrib.values()):
            sys.exit(f"build_msi.py: a text that it does not store in <{element.tag}>")
    return queries


def main():
    parser = argparse.ArgumentParser()
    for option in ("--exe", "--icon", "--version", "--company", "--out"):
        parser.add_argument(option, required=True)
    parser.add_argument("wxs")
    args = parser.parse_args()

    ET.register_namespace("", WIX.strip("{}"))
    tree = ET.parse(args.wxs)
    upgrade_code = uuid.UUID(tree.getroot().find(f"{WIX}Product").get("UpgradeCode"))
    product_code = derived_guid(upgrade_code, "product", args.version)
    package_code = derived_guid(upgrade_code, "package", args.version, args.company,
                                file_digest(args.exe), file_digest(args.icon),
                                file_digest(args.wxs), file_digest(__file__))
    variables = {"ProductCode": product_code, "Version": args.version, "Company": args.company}
    queries = ascii_only(tree, variables)
    summary = tree.getroot().find(f"{WIX}Product/{WIX}Package")

    at_release_time = []
    if os.environ.get("SOURCE_DATE_EPOCH"):
        # Frozen ("x0"), so that every stamp is the same second; faketime reads local time.
        when = time.localtime(int(os.environ["SOURCE_DATE_EPOCH"]))
        at_release_time = ["faketime", "-f", time.strftime("@%Y-%m-%d %H:%M:%S x0", when)]

    out = os.path.abspath(args.out)
    with tempfile.TemporaryDirectory() as stage:
        # wixl takes sources relative to the folder it runs in.
        shutil.copy2(args.exe, os.path.join(stage, "AuthClient.exe"))
        shutil.copy2(args.icon, os.path.join(stage, "AuthClient.ico"))
        with open(os.path.join(stage, "_ForceCodepage.idt"), "w", newline="") as f:
            f.write(f"\r\n\r\n{CODE_PAGE}\t_ForceCodepage\r\n")
        tree.write(os.path.join(stage, "package.wxs"), encoding="utf-8", xml_declaration=True)
        built = os.path.join(stage, "package.msi")
        run(at_release_time + ["wixl", "--arch", "x64", "--output", built, "package.wxs"], stage)

        msibuild = ["msibuild", built, "-i", "_ForceCodepage.idt"]
        for query in queries:
            msibuild += ["-q", query]
        # Subject, author, platform and languages, and the PackageCode.
        msibuild += ["-s", summary.get("Description"), summary.get("Manufacturer"), "x64;1049",
                     package_code]
        run(at_release_time + msibuild, stage)
        shutil.move(built, out)


def run(command, folder):
    # The tools read their Cyrillic arguments in the locale's character set.
    env = dict(os.environ, LC_ALL="C.UTF-8")
    result = subprocess.run(command, cwd=folder, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    # wixl warns about what it does not implement; only its exit code counts.
    if result.returncode != 0:
        sys.stderr.write(result.stdout)
        sys.exit(f"build_msi.py: {command[0] if command[0] != 'faketime' else command[3]} failed")


if __name__ == "__main__":
    main()
