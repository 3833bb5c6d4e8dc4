"""What the operators change and what they leave alone."""

import unittest

import mutants

SOURCE = r'''#include "a.h"  // "not a literal"
#define LIMIT 10
namespace {
constexpr char kName[] = "Name";
static_assert(sizeof(int) == 4, "int");
int f(int a, std::vector<int>* v) {
    char buffer[64];
    // if (a < 3) return "commented";
    if (a < 3 && v != nullptr) return g(a);
    if (!ready()) return 0;
    if (a == 9) return {};
    TRACE(kInfo, "value %d", a);
    TRACE(kInfo, "没有取到%d", a);
    Call_Log("%s", "text");
    remove_all(v);
    int keep = a >= 2;  // no mutation: a width the caller never sees
    // no mutation: both branches give the same text
    keep = a > 2;
    keep = a > 2;  // no mutation:
    return keep;
}
}
'''


def changes():
    return {(m.line, m.operator, m.before, m.after) for m in mutants.generate("f.cpp", SOURCE)}


class Operators(unittest.TestCase):
    def test_planted_changes(self):
        found = changes()
        expected = [
            (9, "relational", "<", "<="),
            (9, "logical", "&&", "||"),
            (9, "equality", "!=", "=="),
            (9, "negation", "a < 3 && v != nullptr", "!(a < 3 && v != nullptr)"),
            (9, "constant", "3", "4"),
            (9, "constant", "3", "2"),
            (9, "return", "return g(a);", "{ (void)(g(a)); return {}; }"),
            (10, "negation", "!ready()", "ready()"),
            (10, "constant", "0", "1"),
            (13, "string", '"没有取到%d"', '"%d"'),
            (14, "string", '"text"', '""'),
            (15, "call", "remove_all(v);", "{ if (false) { remove_all(v); } }"),
            (12, "call", 'TRACE(kInfo, "value %d", a);', '{ if (false) { TRACE(kInfo, "value %d", a); } }'),
            (19, "relational", ">", ">="),  # a mark without a reason counts for nothing
            (20, "return", "return keep;", "{ (void)(keep); return {}; }"),
            (4, "string", '"Name"', '""'),
        ]
        for change in expected:
            self.assertIn(change, found)

    def test_left_alone(self):
        found = changes()
        lines = {line for line, *_ in found}
        # Includes, macros, comments, assertions, a declared size, marked lines.
        for line in (1, 2, 5, 8, 16, 18):
            self.assertNotIn(line, lines)
        self.assertNotIn((7, "constant", "64", "65"), found)
        # The ASCII text of a trace and a bare format are our own wording.
        self.assertNotIn((12, "string", '"value %d"', '"%d"'), found)
        self.assertNotIn((14, "string", '"%s"', '""'), found)
        # Template brackets are not comparisons.
        self.assertFalse([c for c in found if c[0] == 6 and c[1] == "relational"])
        # A value already empty is not replaced by itself.
        self.assertFalse([c for c in found if c[0] == 11 and c[1] == "return"])

    def test_keys_survive_moved_lines(self):
        moved = "\n\n" + SOURCE
        a = [m.key() for m in mutants.generate("f.cpp", SOURCE)]
        b = [m.key() for m in mutants.generate("f.cpp", moved)]
        self.assertEqual(a, b)
        self.assertEqual(len(a), len(set(a)))


if __name__ == "__main__":
    unittest.main()
