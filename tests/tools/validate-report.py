#!/usr/bin/env python3
"""Checks pallix-export reports: valid against the schema (validate-report.py SCHEMA REPORT...),
every file listed on disk with the size given, and each texture file counted once."""
import json
import os
import sys

import jsonschema

schema = json.load(open(sys.argv[1], encoding="utf-8"))
for report in sys.argv[2:]:
    try:
        document = json.load(open(report, encoding="utf-8"))
        jsonschema.validate(document, schema, format_checker=jsonschema.FormatChecker())
    except (ValueError, jsonschema.ValidationError) as error:
        sys.exit(f"{report}: {error}")
    for scene in document["scenes"]:
        names = [f["name"] for f in scene["files"]]
        for f in scene["files"]:
            if os.path.getsize(f["name"]) != f["size"]:
                sys.exit(f"{report}: {f['name']} is not {f['size']} bytes")
        others = [n for n in names if n != scene["output"] and not n.endswith(".material")]
        if len(set(names)) != len(names) or scene["counts"]["textures"] != len(others):
            sys.exit(f"{report}: {scene['input']}: the texture files are not counted once each")
