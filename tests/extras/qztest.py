"""What the host's Python tests share: where the sources are, the programs under
test from the command line, the example package's files, and validation of a
JSON document against one of the schemas in docs/schemas."""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from package_files import example_package_paths, place_example_package  # noqa: E402,F401

try:
    import jsonschema
except ImportError:  # a missing validator fails every validating test, never skips it
    jsonschema = None

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
EXAMPLE_INF = os.path.join(SOURCE, "examples", "rt2210.inf")
SCHEMAS = os.path.join(SOURCE, "docs", "schemas")


def programs():
    """QZINST32 and QZREG, the first two arguments, as absolute paths; the rest
    of the command line is unittest's."""
    return os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])


def unittest_argv():
    return sys.argv[:1] + sys.argv[3:]


def validate(case, document, name):
    """Fails `case` with every way the document misses schema `name`."""
    case.assertIsNotNone(jsonschema, "python3-jsonschema is needed (scripts/install-deps.sh)")
    with open(os.path.join(SCHEMAS, name)) as f:
        schema = json.load(f)
    errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(document), key=str)
    case.assertEqual([e.message for e in errors], [], json.dumps(document)[:400])
