"""Where a C++ source can be changed by one small fault, and what the change is.

A mutant is one edit on one line: a comparison with its boundary flipped, a
number moved by one, a condition negated, or an expression statement removed.
Comments, string and character literals, preprocessor lines, static_asserts and
enumerator values are never touched: the first four cannot change behaviour or
only break the build, and the enumerators are fixed by the host, which the
stand-in shares, so both sides would move together.
"""

import re
from dataclasses import dataclass
from decimal import Decimal


@dataclass(frozen=True)
class Mutant:
    path: str  # relative to the repository root
    line: int  # 1-based
    column: int  # 0-based, in the original line
    kind: str
    original: str
    replacement: str

    def key(self):
        return (self.path, self.line, self.column, self.kind, self.replacement)

    def describe(self):
        return f"{self.path}:{self.line}: {self.kind}: '{self.original}' -> '{self.replacement}'"

    def apply(self, text):
        lines = text.split("\n")
        old = lines[self.line - 1]
        end = self.column + len(self.original)
        assert old[self.column : end] == self.original, self.describe()
        lines[self.line - 1] = old[: self.column] + self.replacement + old[end:]
        return "\n".join(lines)


def mask(text):
    """The text with every character of comments, literals, preprocessor lines
    and static_asserts replaced by a space; newlines and columns are kept."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, stop):
        for k in range(start, min(stop, n)):
            if out[k] != "\n":
                out[k] = " "

    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            stop = i
            while stop < n and (text[stop] != "\n" or text[stop - 1] == "\\"):
                stop += 1
            blank(i, stop)
            i = stop
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            stop = text.find("\n", i)
            stop = n if stop < 0 else stop
            blank(i, stop)
            i = stop
        elif text.startswith("/*", i):
            stop = text.find("*/", i + 2)
            stop = n if stop < 0 else stop + 2
            blank(i, stop)
            i = stop
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not _word(text[i - 1]) or text[i - 1] in "8uUL"):
            open_paren = text.find("(", i)
            delimiter = ")" + text[i + 2 : open_paren] + '"'
            stop = text.find(delimiter, open_paren)
            stop = n if stop < 0 else stop + len(delimiter)
            blank(i, stop)
            i = stop
        elif c == '"' or (c == "'" and not _digit_separator(text, i)):
            stop = i + 1
            while stop < n and text[stop] != c:
                stop += 2 if text[stop] == "\\" else 1
            blank(i, stop + 1)
            i = stop + 1
        else:
            i += 1
    masked = "".join(out)
    for match in re.finditer(r"\bstatic_assert\s*\(", masked):
        stop = _closing_paren(masked, match.end() - 1)
        blank(match.start(), n if stop is None else stop + 1)
    return "".join(out)


def _word(c):
    return c.isalnum() or c == "_"


def _digit_separator(text, i):
    return re.search(r"\b\d[\da-fA-FxX']*$", text[max(0, i - 40) : i]) is not None


def _closing_paren(text, open_index, stop=None):
    depth = 0
    for k in range(open_index, len(text) if stop is None else stop):
        if text[k] == "(":
            depth += 1
        elif text[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return None


# clang-format puts one space on each side of a binary operator and none inside
# template brackets, so a spaced '<' is a comparison.
COMPARISON = re.compile(r"(?<= )(==|!=|<=|>=|<|>)(?= )")
FLIPPED = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">"}

NUMBER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*(?:\.\d+)?)([uUlLfF]*)(?![\w.'])")
ENUM_BODY = re.compile(r"\benum\b[^{;]*\{[^}]*\}")

CONDITION = re.compile(r"\b(if|while)\s*\(")

KEYWORD_STATEMENTS = re.compile(r"^(return|break|continue);$")
EXPRESSION_STATEMENT = re.compile(
    r"^(\+\+|--|\*)?[A-Za-z_][\w:]*(\s*(\.|->)\s*[A-Za-z_]\w*|\[[^\]]*\])*\s*"
    r"(\(|=(?!=)|\+=|-=|\*=|/=|%=|\|=|&=|\^=|<<=|>>=|\+\+|--)"
)
NOT_A_STATEMENT = re.compile(r"^(return|case|default|using|typedef|namespace|template|static|const|constexpr|auto)\b")
# Special members declared in a class body look like calls.
DECLARED_MEMBER = re.compile(r"=\s*(default|delete|0)\s*;$")
# A condition that declares its variable cannot be negated as a whole.
DECLARING_CONDITION = re.compile(r"[^=!<>]=[^=]")


def _moved_numbers(literal):
    body = literal.replace("'", "")
    if body[:2] in ("0x", "0X"):
        value = int(body, 16)
        moved = [value + 1] + ([value - 1] if value > 0 else [])
        return ["0x%x" % v for v in moved]
    if "." in body:
        step = Decimal(1).scaleb(-len(body.split(".")[1]))
        value = Decimal(body)
        moved = [value + step] + ([value - step] if value - step >= 0 else [])
        return [str(v) for v in moved]
    value = int(body)
    return [str(v) for v in [value + 1] + ([value - 1] if value > 0 else [])]


def find_mutants(path, text):
    masked_text = mask(text)
    # Enumerator values are blanked for the constant rule only.
    without_enums = ENUM_BODY.sub(lambda match: re.sub(r"[^\n]", " ", match.group(0)), masked_text).split("\n")
    masked_lines = masked_text.split("\n")
    original_lines = text.split("\n")
    mutants = []
    previous_code = ""
    for number, (masked, original, enumless) in enumerate(zip(masked_lines, original_lines, without_enums), start=1):
        def add(column, kind, old, new):
            mutants.append(Mutant(path, number, column, kind, old, new))

        for match in COMPARISON.finditer(masked):
            add(match.start(), "comparison", match.group(1), FLIPPED[match.group(1)])

        for match in NUMBER.finditer(enumless):
            for moved in _moved_numbers(match.group(1)):
                add(match.start(1), "constant", match.group(1), moved)

        for match in CONDITION.finditer(masked):
            open_paren = match.end() - 1
            close = _closing_paren(masked, open_paren)
            if close is None:
                continue
            condition = original[open_paren + 1 : close]
            if DECLARING_CONDITION.search(masked[open_paren + 1 : close]):
                continue
            add(open_paren, "negated", "(" + condition + ")", "(!(" + condition + "))")

        code = masked.strip()
        starts_statement = previous_code == "" or previous_code[-1] in ";{}):" or previous_code.endswith("else")
        if (
            starts_statement
            and code.endswith(";")
            and code.count("(") == code.count(")")
            and not NOT_A_STATEMENT.match(code)
            and not DECLARED_MEMBER.search(code)
            and (EXPRESSION_STATEMENT.match(code) or KEYWORD_STATEMENTS.match(code))
        ):
            # An empty block rather than nothing, so an unbraced if or else keeps its body.
            column = masked.index(code[0])
            add(column, "removed", original[column : column + len(code)], "{}")
        if code:
            previous_code = code
    return mutants
