"""The grid file: which pcisim to run, the fixed options, the varied settings
and the seeds; expanded into one Run per point and seed."""
import hashlib
import itertools
import json
import os
import re
import tomllib
from dataclasses import dataclass

from . import SweepError

# Friendly setting names and the pcisim option each one stands for.
_MASTER_FIELDS = {"transactions": "c", "latency_timer": "l", "retry_overhead": "o"}
_TARGET_FIELDS = {"init_retry_threshold": "i", "burst_retry_threshold": "b"}
_SETTING = re.compile(r"(pm|pt)([1-3])\.(\w+)")
# A value of the design, overridden with --set PATH=VALUE: master.NAME.KEY,
# target.NAME.KEY, arbiter.KEY, run.KEY, monitor.KEY (any depth below).
_DESIGN_PATH = re.compile(r"(master|target)\.[a-z][a-z0-9_]*(\.[A-Za-z0-9_]+)+|(arbiter|run|monitor)(\.[A-Za-z0-9_]+)+")
_TOP_KEYS = {"binary", "design", "seeds", "timeout", "fixed", "vary"}


def option_template(name):
    """The option template ("-m1l{}") of a friendly setting name, or None."""
    if name == "mtt":
        return "-a{}"
    match = _SETTING.fullmatch(name)
    if not match:
        return None
    kind, number, field = match.groups()
    letter = (_MASTER_FIELDS if kind == "pm" else _TARGET_FIELDS).get(field)
    return letter and f"-{'m' if kind == 'pm' else 't'}{number}{letter}{{}}"


def known_settings():
    masters = [f"pm1..3.{f}" for f in _MASTER_FIELDS]
    targets = [f"pt1..3.{f}" for f in _TARGET_FIELDS]
    return ", ".join(["mtt", *masters, *targets])


def toml_value(value):
    """A value in TOML syntax, as --set reads it."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, str):
        return json.dumps(value)
    if isinstance(value, list):
        return "[" + ", ".join(toml_value(v) for v in value) + "]"
    return str(value)


@dataclass(frozen=True)
class Setting:
    name: str        # column name in results.csv
    template: str    # pcisim option with "{}" for the value, or "--set" for a design path
    values: tuple

    def options(self, value):
        """The pcisim arguments that give this setting the value."""
        if self.template == "--set":
            return ["--set", f"{self.name}={toml_value(value)}"]
        return [self.template.replace("{}", str(value))]

    def label(self, value):
        """The setting and value as the run id shows them."""
        if self.template == "--set":
            return f"{self.name.partition('.')[2] if self.name.startswith(('master.', 'target.')) else self.name}" \
                   f"={toml_value(value)}"
        return self.template.replace("{}", str(value))


@dataclass(frozen=True)
class Run:
    run_id: str
    order: tuple     # (point index, seed index): the table's sort key
    values: dict     # setting name -> value
    seed: int
    args: tuple      # pcisim arguments without --stats-json


@dataclass
class Grid:
    path: str
    text: str
    binary: str
    seeds: tuple
    timeout: float
    fixed: tuple
    settings: tuple

    @property
    def setting_names(self):
        return [s.name for s in self.settings]

    def runs(self):
        """Every point of the cartesian product (first setting slowest) times every seed."""
        out = []
        for index, point in enumerate(itertools.product(*(s.values for s in self.settings))):
            options = [o for s, v in zip(self.settings, point) for o in s.options(v)]
            labels = [s.label(v) for s, v in zip(self.settings, point)]
            cells = {s.name: toml_value(v) if isinstance(v, list) else v for s, v in zip(self.settings, point)}
            for seed_index, seed in enumerate(self.seeds):
                args = (*self.fixed, *options, "--seed", str(seed))
                out.append(Run(run_id(labels, seed, args), (index, seed_index), cells, seed, args))
        return out


def run_id(options, seed, args):
    """Readable prefix from the varied options, the seed, and a hash of the whole argument list."""
    prefix = "_".join(re.sub(r"[^A-Za-z0-9.=-]+", "-", o.lstrip("-/")) for o in options)[:48]
    digest = hashlib.sha1(json.dumps(list(args)).encode()).hexdigest()[:8]
    return f"{prefix}_s{seed}_{digest}" if prefix else f"s{seed}_{digest}"


def _int(value, where):
    if isinstance(value, bool) or not isinstance(value, int):
        raise SweepError(f"{where}: expected a whole number, got {value!r}")
    return value


def _values(entry, where, numeric, design=False):
    """A value list, or a {from, to, step} range (inclusive). A design value
    may be any TOML value, a list of them (a range [lo, hi] among them)."""
    if isinstance(entry, list):
        values = entry
    elif isinstance(entry, dict) and "from" in entry:
        extra = set(entry) - {"from", "to", "step", "option"}
        if extra or "to" not in entry:
            raise SweepError(f"{where}: a range needs 'from' and 'to' (and optionally 'step'), "
                             f"not {sorted(extra) or 'no to'}")
        start, stop = _int(entry["from"], where), _int(entry["to"], where)
        step = _int(entry.get("step", 1), where)
        if step <= 0:
            raise SweepError(f"{where}: step must be positive, got {step}")
        values = list(range(start, stop + 1, step))
    else:
        values = [entry]
    if not values:
        raise SweepError(f"{where}: empty range or value list")
    for value in values:
        if numeric:
            _int(value, where)
        elif design:
            if isinstance(value, dict):
                raise SweepError(f"{where}: a design value cannot be a table, got {value!r}")
        elif not isinstance(value, (int, str)) or isinstance(value, bool):
            raise SweepError(f"{where}: values must be numbers or strings, got {value!r}")
    if len({toml_value(v) for v in values}) != len(values):
        raise SweepError(f"{where}: repeated value in {values}")
    return tuple(values)


def _setting(name, entry, where):
    """A friendly setting (values only) or a raw one ({option = "-x{}", values/range})."""
    if isinstance(entry, dict) and "option" in entry:
        template = entry["option"]
        if not isinstance(template, str) or "{}" not in template:
            raise SweepError(f"{where}: 'option' must be a string containing {{}}, e.g. \"-a{{}}\"")
        if "values" not in entry and "from" not in entry:
            raise SweepError(f"{where}: a raw option needs 'values' or 'from'/'to'/'step'")
        if "values" in entry:
            if set(entry) != {"option", "values"}:
                raise SweepError(f"{where}: give either 'values' or 'from'/'to'/'step', not both")
            entry = entry["values"]
        return Setting(name, template, _values(entry, where, numeric=False))
    if _DESIGN_PATH.fullmatch(name):
        return Setting(name, "--set", _values(entry, where, numeric=False, design=True))
    template = option_template(name)
    if template is None:
        raise SweepError(f"{where}: unknown setting '{name}' (known: {known_settings()}, or a design "
                         f"value such as \"master.pm1.latency_timer\"; or give a raw option: "
                         f"{name} = {{option = \"-x{{}}\", values = [...]}})")
    return Setting(name, template, _values(entry, where, numeric=True))


def _fixed(table):
    if not isinstance(table, dict):
        raise SweepError("[fixed] must be a table")
    fixed = []
    for name, value in table.items():
        if name == "options":
            if not isinstance(value, list) or not all(isinstance(v, str) for v in value):
                raise SweepError("[fixed] options must be a list of strings, e.g. [\"-m1c50\"]")
            fixed.extend(value)
        elif _DESIGN_PATH.fullmatch(name):  # one value, which may itself be a list such as [0, 20]
            if isinstance(value, dict):
                raise SweepError(f"[fixed] {name}: a design value cannot be a table, got {value!r}")
            fixed.extend(Setting(name, "--set", (value,)).options(value))
        else:
            setting = _setting(name, value, f"[fixed] {name}")
            if len(setting.values) != 1:
                raise SweepError(f"[fixed] {name}: one value only (put several under [vary])")
            fixed.extend(setting.options(setting.values[0]))
    for arg in fixed:
        if arg.split("=")[0] in ("--seed", "--stats-json", "--design"):
            raise SweepError(f"[fixed] options: {arg.split('=')[0]} is set by the sweep itself")
    return fixed


def _seeds(entry):
    if entry is None:
        return (1,)
    if isinstance(entry, list):
        seeds = tuple(_int(s, "seeds") for s in entry)
        if not seeds or len(set(seeds)) != len(seeds):
            raise SweepError("seeds: the list must be non-empty and without repeats")
        return seeds
    count = _int(entry, "seeds")
    if count < 1:
        raise SweepError(f"seeds: need at least 1, got {count}")
    return tuple(range(1, count + 1))


def parse_grid(text, path, binary=None):
    """Read a grid from TOML text; `binary` (from the command line) overrides the file's."""
    where = os.path.basename(path)
    try:
        data = tomllib.loads(text)
    except tomllib.TOMLDecodeError as err:
        raise SweepError(f"{where}: not valid TOML: {err}") from None
    unknown = set(data) - _TOP_KEYS
    if unknown:
        raise SweepError(f"{where}: unknown key(s) {', '.join(sorted(unknown))} "
                         f"(known: {', '.join(sorted(_TOP_KEYS))})")
    if binary is None:
        if "binary" not in data:
            raise SweepError(f"{where}: no 'binary' given (in the grid or with --binary)")
        binary = os.path.join(os.path.dirname(os.path.abspath(path)), data["binary"])
    design = data.get("design")
    if design is not None and (not isinstance(design, str) or not design):
        raise SweepError(f"{where}: design must be the path of a design file")
    timeout = data.get("timeout", 600)
    if isinstance(timeout, bool) or not isinstance(timeout, (int, float)) or timeout <= 0:
        raise SweepError(f"{where}: timeout must be a positive number of seconds")
    vary = data.get("vary", {})
    if not isinstance(vary, dict):
        raise SweepError(f"{where}: [vary] must be a table")
    settings = tuple(_setting(name, entry, f"[vary] {name}") for name, entry in vary.items())
    fixed = _fixed(data.get("fixed", {}))
    if design is not None:
        fixed = ["--design", os.path.join(os.path.dirname(os.path.abspath(path)), design), *fixed]
    for setting in settings:
        if setting.template == "--set":
            clash = [a for a in fixed if a.startswith(setting.name + "=")]
            if clash:
                raise SweepError(f"[vary] {setting.name}: also set in [fixed] ({clash[0]})")
            continue
        prefix = setting.template[:-2].lower()  # only an option whose value comes last can be compared
        clash = [a for a in fixed if prefix and setting.template.endswith("{}") and a.lower().startswith(prefix)]
        if clash:
            raise SweepError(f"[vary] {setting.name}: also set in [fixed] ({clash[0]})")
    return Grid(path, text, os.path.abspath(binary), _seeds(data.get("seeds")), float(timeout),
                tuple(fixed), settings)


def load_grid(path, binary=None):
    try:
        with open(path, encoding="utf-8") as handle:
            text = handle.read()
    except OSError as err:
        raise SweepError(f"cannot read grid {path}: {err.strerror}") from None
    return parse_grid(text, path, binary)
