# Method tables for compiled callers: opaque capsules.
\.__capi__$:
    __capi__: object
