"""The module's face: every public name documented and described by the type stubs."""
import ast
import inspect
import os
import re

import vornix

STUBS = os.path.join(os.path.dirname(__file__), "..", "..", "python", "vornix.pyi")


def stub_names():
    with open(STUBS, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    names = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            names[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)} | {
                n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
        elif isinstance(node, ast.FunctionDef):
            names[node.name] = None
    return names


def described(obj):
    """True when the docstring says something beyond the signature pybind11 puts first."""
    lines = (obj.__doc__ or "").strip().splitlines()
    return any(line.strip() and not re.match(r"^\w+\(.*\)( -> .*)?$", line) for line in lines)


def public(obj):
    return {n for n in vars(obj) if not n.startswith("_")}


def test_every_name_has_a_docstring_and_a_stub():
    stubs = stub_names()
    module_names = {n for n in public(vornix) if not inspect.ismodule(getattr(vornix, n))}
    assert module_names == set(stubs)
    for name in module_names:
        obj = getattr(vornix, name)
        assert described(obj), name
        if inspect.isclass(obj):
            members = public(obj) - {"args", "with_traceback", "add_note", "errno", "strerror",
                                     "characters_written"}
            assert members <= stubs[name] | {"filename", "filename2"}, (name, members)
            for member in members:
                assert described(getattr(obj, member)), (name, member)
    for dunder in ("__len__", "__getitem__", "__iter__", "__delitem__"):
        assert hasattr(vornix.Group, dunder) and dunder in stubs["Group"]
    assert "top row first" in vornix.Frame.pixels.__doc__
    assert "LoadError" in vornix.open.__doc__
