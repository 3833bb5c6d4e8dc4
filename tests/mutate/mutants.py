"""The changes planted in a C++ source: a small lexer and the operators.

Each mutant is one edit of the file's text (start, end, replacement) with the
line it starts on. Comments, preprocessor lines, static assertions and
attributes are never changed; neither is a line whose comment reads
"no mutation: <why>" (a comment alone on its line covers the next line), nor
the ASCII format text of a trace call (our own wording, free to change; a
trace text in the product's language is one it must produce).
"""

import re
from dataclasses import dataclass

_PUNCT = sorted(
    """<<= >>= <=> ... ->* :: -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= ##
    { } [ ] ( ) ; : , . ? ~ ! + - * / % ^ & | = < > #""".split(),
    key=len,
    reverse=True,
)
_IDENT = re.compile(r"[A-Za-z_][A-Za-z_0-9]*")
_NUMBER = re.compile(r"(?:0[xX][0-9A-Fa-f']+|\d[\d']*(?:\.\d*)?(?:[eE][+-]?\d+)?)[A-Za-z]*")
_STRING_PREFIX = re.compile(r'(?:u8|u|U|L)?R?"')
_SKIP_MARK = re.compile(r"no mutation:\s*(\S.*)")
_CONVERSION = re.compile(r"%[-+ #0]*(?:\*|\d+)?(?:\.(?:\*|\d+))?(?:hh|h|ll|l|j|z|t|L|I64)?[diouxXeEfgGcsp%]")
_TRACE_CALL = re.compile(r"(?:LogTrace|[A-Z_]*TRACE[A-Z_]*)$")


@dataclass
class Token:
    kind: str  # ident, number, string, char, punct, comment, preproc
    text: str
    start: int
    end: int
    line: int


@dataclass
class Mutant:
    path: str
    line: int
    start: int
    end: int
    after: str
    before: str
    operator: str
    line_text: str = ""
    line_after: str = ""
    ordinal: int = 0

    def key(self):
        """Stable across edits elsewhere in the file: the line's text, not its number."""
        return f"{self.operator}|{self.line_text}|{self.before}|{self.after}|{self.ordinal}"

    def apply(self, text):
        return text[: self.start] + self.after + text[self.end :]


def tokenize(text):
    tokens = []
    i, line, n = 0, 1, len(text)
    at_line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        start, start_line = i, line
        if c == "#" and at_line_start:
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    i += 2
                    line += 1
                    continue
                if text.startswith("/*", i):
                    close = text.find("*/", i + 2)
                    close = n if close < 0 else close + 2
                    line += text.count("\n", i, close)
                    i = close
                    continue
                i += 1
            tokens.append(Token("preproc", text[start:i], start, i, start_line))
            continue
        at_line_start = False
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
            tokens.append(Token("comment", text[start:i], start, i, start_line))
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            line += text.count("\n", start, i)
            tokens.append(Token("comment", text[start:i], start, i, start_line))
            continue
        prefix = _STRING_PREFIX.match(text, i)
        if prefix:
            j = prefix.end()
            if prefix.group().endswith('R"'):
                delim_end = text.find("(", j)
                delim = text[j:delim_end]
                close = text.find(")" + delim + '"', delim_end)
                j = close + len(delim) + 2
            else:
                while j < n and text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                j += 1
            line += text.count("\n", start, j)
            i = j
            tokens.append(Token("string", text[start:i], start, i, start_line))
            continue
        if c == "'" or (c in "uUL" and text.startswith("'", i + 1)):
            j = text.find("'", i) + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
            tokens.append(Token("char", text[start:i], start, i, start_line))
            continue
        m = _IDENT.match(text, i)
        if m:
            i = m.end()
            tokens.append(Token("ident", m.group(), start, i, start_line))
            continue
        m = _NUMBER.match(text, i)
        if m:
            i = m.end()
            tokens.append(Token("number", m.group(), start, i, start_line))
            continue
        for p in _PUNCT:
            if text.startswith(p, i):
                i += len(p)
                tokens.append(Token("punct", p, start, i, start_line))
                break
        else:
            i += 1
            tokens.append(Token("punct", c, start, i, start_line))
    return tokens


def _skipped_lines(text, tokens):
    """Lines marked as not worth mutating (a mark with no reason is ignored)."""
    lines = text.split("\n")
    skipped = set()
    for t in tokens:
        if t.kind != "comment":
            continue
        m = _SKIP_MARK.search(t.text)
        if not m:
            continue
        line_text = lines[t.line - 1]
        if line_text.strip().startswith(("//", "/*")):
            following = t.line + t.text.count("\n") + 1
            while following <= len(lines) and not lines[following - 1].strip():
                following += 1
            skipped.add(following)
        else:
            skipped.add(t.line)
    return skipped


def _spaced(text, tok):
    """A binary operator as the formatter writes it: blanks on both sides."""
    return (
        tok.start > 0
        and text[tok.start - 1] in " \n"
        and tok.end < len(text)
        and text[tok.end] in " \n"
    )


def _matching(code, index):
    """Index of the bracket closing code[index]."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    opening, closing = code[index].text, pairs[code[index].text]
    depth = 0
    for k in range(index, len(code)):
        if code[k].text == opening:
            depth += 1
        elif code[k].text == closing:
            depth -= 1
            if depth == 0:
                return k
    return len(code) - 1


def _excluded_spans(code):
    """Token indexes never mutated: assertions, attributes, sizeof and
    decltype, linkage names, case labels, template heads, operator names."""
    spans = []
    for k, t in enumerate(code):
        if t.kind == "ident" and t.text in ("static_assert", "__attribute__", "alignas", "asm",
                                             "_Pragma", "decltype", "sizeof"):
            if k + 1 < len(code) and code[k + 1].text == "(":
                spans.append((k, _matching(code, k + 1)))
        elif t.kind == "ident" and t.text == "extern" and k + 1 < len(code) and code[k + 1].kind == "string":
            spans.append((k + 1, k + 1))
        elif t.text == "[" and k + 1 < len(code) and code[k + 1].text == "[":
            spans.append((k, _matching(code, k)))
        elif t.kind == "ident" and t.text in ("case", "template", "operator"):
            # Case labels must stay distinct; template heads and operator names are not logic.
            stop = k
            while stop < len(code) and code[stop].text not in (":", "{", ";", "("):
                stop += 1
            spans.append((k, stop))
    excluded = set()
    for a, b in spans:
        excluded.update(range(a, b + 1))
    return excluded


def _call_name(code, open_index):
    """The name before an opening parenthesis, or ''."""
    if open_index > 0 and code[open_index - 1].kind == "ident":
        return code[open_index - 1].text
    return ""


def _is_declared_size(code, k):
    """An integer that is the whole size in a declaration: char buf[64];"""
    return (
        k >= 3
        and code[k - 1].text == "["
        and k + 1 < len(code)
        and code[k + 1].text == "]"
        and code[k - 2].kind == "ident"
        and (code[k - 3].kind == "ident" or code[k - 3].text in ("*", "&", ">"))
        and code[k - 3].text not in ("return", "case", "else")
    )


def _single_operand(tokens):
    """A name, a member chain or a call: nothing binary at the top level."""
    depth = 0
    for t in tokens:
        if t.text in ("(", "[", "{"):
            depth += 1
        elif t.text in (")", "]", "}"):
            depth -= 1
        elif depth == 0 and t.kind == "punct" and t.text not in ("::", ".", "->"):
            return False
    return bool(tokens)


def _statement_start(code, k):
    return k == 0 or code[k - 1].text in (";", "{", "}", ")", "else", ":")


def _string_run(code, k):
    """Adjacent literals form one string: the index past the run."""
    j = k
    while j < len(code) and code[j].kind == "string":
        j += 1
    return j


def _literal_body(text):
    quote = text.index('"')
    return text[quote + 1 : -1]


def generate(path, text):
    tokens = tokenize(text)
    code = [t for t in tokens if t.kind not in ("comment", "preproc")]
    skipped = _skipped_lines(text, tokens)
    excluded = _excluded_spans(code)
    lines = text.split("\n")
    mutants = []

    # The enclosing calls of each token, to find trace calls.
    enclosing = []
    stack = []
    for k, t in enumerate(code):
        if t.text in ("(", "[", "{"):
            stack.append(_call_name(code, k) if t.text == "(" else "")
        elif t.text in (")", "]", "}") and stack:
            stack.pop()
        enclosing.append(tuple(stack))

    def add(k, start, end, after, operator):
        tok = code[k]
        if tok.line in skipped or k in excluded:
            return
        first = text.rfind("\n", 0, start) + 1
        last = text.find("\n", end)
        last = len(text) if last < 0 else last
        changed = " ".join((text[first:start] + after + text[end:last]).split())
        mutants.append(
            Mutant(path, tok.line, start, end, after, text[start:end], operator,
                   lines[tok.line - 1].strip(), changed)
        )

    k = 0
    while k < len(code):
        t = code[k]
        if t.kind == "punct" and _spaced(text, t):
            flips = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
            if t.text in flips:
                add(k, t.start, t.end, flips[t.text], "relational" if t.text[0] in "<>" else "equality")
            elif t.text in ("&&", "||"):
                add(k, t.start, t.end, "||" if t.text == "&&" else "&&", "logical")
        elif t.kind == "ident" and t.text in ("if", "while") and k + 1 < len(code) and code[k + 1].text == "(":
            close = _matching(code, k + 1)
            inner = code[k + 2 : close]
            declares = any(x.text == "=" for x in inner) or any(x.text == ";" for x in inner)
            # A lone equality test inverted is the same change as its flip.
            top = [x.text for x in inner if x.text in ("==", "!=", "&&", "||", "?", "<", ">", "<=", ">=")]
            if top in (["=="], ["!="]):
                declares = True
            if inner and not declares:
                a, b = inner[0].start, inner[-1].end
                cond = text[a:b]
                if inner[0].text == "!" and _single_operand(inner[1:]):
                    add(k, a, b, text[inner[1].start : b], "negation")
                else:
                    add(k, a, b, "!(" + cond + ")", "negation")
        elif t.kind == "ident" and t.text in ("true", "false"):
            add(k, t.start, t.end, "false" if t.text == "true" else "true", "constant")
        elif t.kind == "number" and re.fullmatch(r"(0[xX][0-9A-Fa-f]+|\d+)[uUlL]*", t.text):
            if not _is_declared_size(code, k):
                digits = re.match(r"0[xX][0-9A-Fa-f]+|\d+", t.text).group()
                suffix = t.text[len(digits) :]
                value = int(digits, 16) if digits[:2] in ("0x", "0X") else int(digits)
                for v in (value + 1, value - 1):
                    if v >= 0:
                        add(k, t.start, t.end, str(v) + suffix, "constant")
        elif t.kind == "ident" and t.text == "return" and k + 1 < len(code) and code[k + 1].text != ";":
            end = k + 1
            depth = 0
            while end < len(code) and not (depth == 0 and code[end].text == ";"):
                depth += code[end].text in ("(", "[", "{")
                depth -= code[end].text in (")", "]", "}")
                end += 1
            expr = code[k + 1 : end]
            literal = (len(expr) == 1 and expr[0].kind in ("number", "ident") and expr[0].text in (
                "0", "1", "true", "false", "nullptr")) or [x.text for x in expr] == ["{", "}"]
            if not literal and not (len(expr) == 2 and expr[0].text == "-" and expr[1].kind == "number"):
                # The value is still worked out (and what it uses still used).
                value = text[expr[0].start : expr[-1].end]
                add(k, t.start, code[end].end, "{ (void)(" + value + "); return {}; }", "return")
        elif t.kind == "ident" and _statement_start(code, k) and t.text not in (
                "return", "if", "while", "for", "switch", "delete", "throw", "case", "default",
                "else", "do", "goto", "break", "continue", "using", "typedef", "namespace"):
            # A call statement: name(::name|.name|->name)* ( ... ) ;
            j = k + 1
            while j + 1 < len(code) and code[j].text in ("::", ".", "->") and code[j + 1].kind == "ident":
                j += 2
            if j < len(code) and code[j].text == "(":
                close = _matching(code, j)
                if close + 1 < len(code) and code[close + 1].text == ";":
                    # Never run, still compiled: what only the call used stays used.
                    statement = text[t.start : code[close + 1].end]
                    add(k, t.start, code[close + 1].end, "{ if (false) { " + statement + " } }", "call")
        elif t.kind == "string":
            run_end = _string_run(code, k)
            run = code[k:run_end]
            body = "".join(_literal_body(s.text) for s in run)
            trace = any(_TRACE_CALL.search(name) for name in enclosing[k] if name)
            ascii_text = all(ord(ch) < 128 for ch in body)
            conversions = _CONVERSION.findall(body)
            kept = "".join(conversions)
            if body and not (trace and ascii_text) and kept != body and not run[0].text.startswith(("R", "u8R", "LR")):
                add(k, run[0].start, run[-1].end, '"' + kept + '"', "string")
            k = run_end
            continue
        k += 1

    ordinals = {}
    for m in mutants:
        base = (m.operator, m.line_text, m.before, m.after)
        m.ordinal = ordinals.get(base, 0)
        ordinals[base] = m.ordinal + 1
    return mutants
