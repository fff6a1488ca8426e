"""``python -m videvo``: the videvo command."""

import sys

from .cli import main

sys.exit(main())
