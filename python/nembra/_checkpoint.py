"""save() and load(): a flow solver to a file and back, continuing to the same bits.

The file is NumPy's .npz (a zip archive of arrays, each with a CRC-32), read without pickles.
It holds how the solver was built, its counts, model time, last time step and value reports,
the flat plate's wall and largest density change, and all 44 slots of every node. A solver loaded from it takes
the same steps, to the last bit, as the saved one would have taken.
"""

import os
import tempfile
import zipfile
import zlib

import numpy as np

from ._nembra import BlastWave, FlatPlate, Flow, ShockTube

FORMAT = "nembra python checkpoint"
FORMAT_VERSION = 1
CASES = {cls.__name__: cls for cls in (Flow, FlatPlate, ShockTube, BlastWave)}
SLOT_COUNT = 44
INT_MAX = 2**31 - 1
NPY_HEADER_BYTES = 4096


def _case_name(cls):
    for base in cls.__mro__:
        if CASES.get(base.__name__) is base:
            return base.__name__
    raise TypeError(f"{cls.__name__} is not a flow solver of nembra")


def save(self, path):
    """Writes the solver to `path` (a .npz file): everything a solver loaded from it needs to
    continue to the same bits. The file is written under a temporary name beside `path`, flushed
    to the disk and renamed over it, so `path` always holds a complete file. Call it between
    steps (RuntimeError from a hook). A Python subclass's own attributes are not saved."""
    step_count, model_time, delta_t, value_reports, mesh, density_change = self._saved_state()
    arrays = {
        "format": np.array(FORMAT),
        "format_version": np.array(FORMAT_VERSION, dtype=np.int64),
        "case": np.array(_case_name(type(self))),
        "imax": np.array(self.imax, dtype=np.int64),
        "jmax": np.array(self.jmax, dtype=np.int64),
        "length_x": np.array(self.length_x, dtype=np.float64),
        "max_steps": np.array(self.max_steps, dtype=np.int64),
        "step_count": np.array(step_count, dtype=np.int64),
        "model_time": np.array(model_time, dtype=np.float64),
        "delta_t": np.array(delta_t, dtype=np.float64),
        "value_reports": np.array(value_reports, dtype=np.int64),
    }
    if density_change is not None:
        arrays["wall"] = np.array(self.wall)
        arrays["density_change"] = np.array(density_change, dtype=np.float64)
    if mesh is not None:
        arrays["mesh"] = np.ascontiguousarray(mesh).view("<f8").reshape(
            self.imax, self.jmax, SLOT_COUNT)
    _write_atomically(os.fspath(path), arrays)


def _write_atomically(path, arrays):
    folder = os.path.dirname(os.path.abspath(path))
    handle, temporary = tempfile.mkstemp(prefix=".nembra-save-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(handle, "wb") as file:
            np.savez(file, **arrays)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise
    directory = os.open(folder, os.O_RDONLY)
    try:
        os.fsync(directory)
    finally:
        os.close(directory)


class _Reader:
    """Reads the entries of one file, each checked for its kind and shape before use."""

    def __init__(self, path, data):
        self.path, self.data = path, data

    def refuse(self, problem):
        return ValueError(f"{self.path}: {problem}")

    def array(self, name, kinds, shape=()):
        if name not in self.data.files:
            raise self.refuse(f"no '{name}' entry: not a checkpoint of nembra.save()")
        # Checked before reading: save() stores entries uncompressed, so none can inflate
        # beyond the file, and none may be larger than its shape needs.
        info = self.data.zip.getinfo(name + ".npy")
        if info.compress_type != zipfile.ZIP_STORED:
            raise self.refuse(f"'{name}' is compressed, which save() never writes")
        if info.file_size > NPY_HEADER_BYTES + 8 * int(np.prod(shape)) + 4 * 4096:
            raise self.refuse(f"'{name}' is larger than its shape allows")
        value = self.data[name]
        if value.dtype.kind not in kinds or value.shape != shape:
            raise self.refuse(f"'{name}' has the wrong type or shape")
        return value

    def text(self, name):
        return str(self.array(name, "U"))

    def integer(self, name, low, high):
        value = int(self.array(name, "iu"))
        if not low <= value <= high:
            raise self.refuse(f"'{name}' = {value} is outside [{low}, {high}]")
        return value

    def number(self, name):
        return float(self.array(name, "f"))


# What NumPy and zipfile raise for a file that is not, or no longer, a whole .npz archive.
DAMAGED = (ValueError, EOFError, KeyError, zipfile.BadZipFile, zlib.error)


def _read(path, cls):
    """(class, constructor keywords, state) of a checked file."""
    try:
        data = np.load(path, allow_pickle=False)
    except DAMAGED as error:
        raise ValueError(f"{path}: not a checkpoint of nembra.save() ({error})") from None
    if not isinstance(data, np.lib.npyio.NpzFile):
        raise ValueError(f"{path}: not a checkpoint of nembra.save() (a single array)")
    with data:
        reader = _Reader(path, data)
        try:
            return _check(reader, cls)
        except DAMAGED as error:
            if isinstance(error, ValueError) and str(error).startswith(f"{path}: "):
                raise
            raise reader.refuse(f"damaged ({error!r})") from None


def _check(reader, cls):
    if reader.text("format") != FORMAT:
        raise reader.refuse("not a checkpoint of nembra.save()")
    version = int(reader.array("format_version", "iu"))
    if version != FORMAT_VERSION:
        raise reader.refuse(f"format version {version}; this nembra reads {FORMAT_VERSION}")
    case = reader.text("case")
    if case not in CASES:
        raise reader.refuse(f"unknown case '{case}'")
    if cls is not None and not issubclass(cls, CASES[case]):
        raise reader.refuse(f"holds a {case}, which {cls.__name__} is not")
    imax = reader.integer("imax", 4, INT_MAX)
    jmax = reader.integer("jmax", 4, INT_MAX)
    max_steps = reader.integer("max_steps", 0, INT_MAX)
    keywords = {"imax": imax, "jmax": jmax, "length_x": reader.number("length_x"),
                "max_steps": max_steps}
    state = {
        "step_count": reader.integer("step_count", 0, max_steps),
        "model_time": reader.number("model_time"),
        "delta_t": reader.number("delta_t"),
        "value_reports": reader.integer("value_reports", 0, 2**63 - 1),
        "density_change": float("nan"),
    }
    if not (np.isfinite(keywords["length_x"]) and keywords["length_x"] > 0):
        raise reader.refuse("'length_x' must be a positive, finite length")
    if not (np.isfinite(state["model_time"]) and state["model_time"] >= 0):
        raise reader.refuse("'model_time' must be finite and not negative")
    if case == "FlatPlate":
        keywords["wall"] = reader.text("wall")
        if keywords["wall"] not in ("isothermal", "adiabatic"):
            raise reader.refuse(f"unknown wall '{keywords['wall']}'")
        state["density_change"] = reader.number("density_change")
    if state["step_count"] > 0:
        state["mesh"] = reader.array("mesh", "f", (imax, jmax, SLOT_COUNT))
        if state["mesh"].dtype != np.dtype("<f8"):
            raise reader.refuse("'mesh' must be little-endian float64")
    return CASES[case], keywords, state


def load(path, cls=None, **arguments):
    """A solver continuing the one saved to `path` by save(): the class it was (or `cls`, a
    subclass of it, built with the saved mesh settings as keywords and `arguments`), with its
    step count, model time, value reports and every node's 44 slots. Its next step is the step
    the saved solver would have taken. ValueError names the file and what is wrong with it."""
    path = os.fspath(path)
    case, keywords, state = _read(path, cls)
    cls = cls or case
    step_count = state["step_count"]
    if step_count == 0:
        return cls(**keywords, **arguments)
    # The library counts again from its laying call: build it with the calls left.
    remaining = dict(keywords, max_steps=keywords["max_steps"] - (step_count - 1))
    solver = cls(**remaining, **arguments)
    solver._continue_from(state["mesh"], step_count, state["model_time"], state["delta_t"],
                          state["value_reports"], state["density_change"])
    return solver


def _load_as(cls, path, **arguments):
    """cls.load(path, **arguments): load(path, cls, **arguments), a solver of this class that
    continues the one saved to `path`."""
    return load(path, cls, **arguments)


def attach_checkpoints(cls):
    cls.save = save
    cls.load = classmethod(_load_as)
