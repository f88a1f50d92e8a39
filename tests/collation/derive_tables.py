#!/usr/bin/env python3
"""Learns the word-sort order of the Windows locale comparison and the Windows casing from
collation_probe.exe (run under Wine), and writes

  src/platform/posix/locale_text_tables.inc   the POSIX tables (weights and casing)
  tests/collation/comparisons.txt             the comparison table the unit test checks
  tests/collation/casing.txt                  the casing table the unit test checks

Usage: derive_tables.py PROBE_EXE [--check N]

Nothing here knows the order in advance: every weight is inferred from answers of the real
comparison, and the inferred model is then replayed against fresh random texts before anything
is written.

The model the answers support, level by level:
  * A character is fully ignorable, a "special" (weighs only on the last level), a mark
    (weighs only on the diacritic level), or one or more collation elements (a ligature is
    two). An element carries a primary weight, a diacritic weight and a third-level weight.
  * Texts compare by their primary weights; on a tie by their diacritic weights; on a tie by
    their third-level weights; on a tie by their specials, each taken as (number of elements
    before it, weight): an earlier special weighs more, then the heavier one.
  * Diacritic weights are numbers: a mark adds its weight to the element before it (across
    specials and ignorables), modulo 256; marks before any element add up to a weight of
    their own, first in the sequence; trailing weights no heavier than an undecorated letter's
    are dropped before comparing.
  * The third level holds case and variants such as superscripts and small capitals. Ignoring
    case hides only the case part, and the two views do not nest, so each element has a rank
    for each view.
  * At every level a text that is a proper prefix of the other sorts first.
Primary weights are global ranks. The other weights are only ever compared between elements of
equal primary weight, so they are learned per primary class (diacritic weights as numbers,
because marks add to them).
"""

import argparse
import functools
import os
import random
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..'))
TABLES = os.path.join(ROOT, 'src', 'platform', 'posix', 'locale_text_tables.inc')
COMPARISONS = os.path.join(HERE, 'comparisons.txt')
CASING = os.path.join(HERE, 'casing.txt')

# Windows-1252 as the system widens it: the five unassigned bytes become the C1 controls.
def widen(data):
    out = []
    for byte in data:
        if byte in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
            out.append(chr(byte))
        else:
            out.append(bytes([byte]).decode('cp1252'))
    return ''.join(out)


CP1252_WIDE = sorted(set(widen(bytes([b])) for b in range(1, 256)))

# The UTF-16 units whose weights are learned; everything else is ordered by code point.
# Latin, its marks and modifier letters, Greek and Cyrillic, Latin Extended Additional, and the
# punctuation, currency and letterlike symbols.
LEARNED_RANGES = [(0x0001, 0x0530), (0x1E00, 0x1F00), (0x2000, 0x2150)]


class Oracle:
    """The probe program, asked in batches (written by a thread so that pipes cannot fill)."""

    def __init__(self, exe):
        self.process = subprocess.Popen(['wine', exe], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1 << 20)
        self.cache = {}
        self.asked = 0

    def _ask(self, lines):
        def writer():
            for line in lines:
                self.process.stdin.write(line + '\n')
            self.process.stdin.flush()
        thread = threading.Thread(target=writer)
        thread.start()
        answers = [self.process.stdout.readline().rstrip('\n') for _ in lines]
        thread.join()
        self.asked += len(lines)
        return answers

    def compare(self, pairs):
        """(sign, sign ignoring case) of lstrcmpW for each pair of texts."""
        todo = [p for p in dict.fromkeys(pairs) if p not in self.cache]
        for start in range(0, len(todo), 200000):
            chunk = todo[start:start + 200000]
            answers = self._ask(['W %s %s' % (wide_hex(a), wide_hex(b)) for a, b in chunk])
            for pair, answer in zip(chunk, answers):
                first, second = answer.split()
                self.cache[pair] = (int(first), int(second))
        return [self.cache[p] for p in pairs]

    def compare_ansi(self, pairs):
        answers = self._ask(['A %s %s' % (a.hex() or '-', b.hex() or '-') for a, b in pairs])
        return [tuple(int(x) for x in answer.split()) for answer in answers]

    def lines(self, command, count):
        return self._ask([command])[:1] + [self.process.stdout.readline().rstrip('\n')
                                           for _ in range(count - 1)]

    def close(self):
        self.process.stdin.close()
        self.process.wait()


def wide_hex(text):
    return ''.join('%04x' % ord(c) for c in text) or '-'


# ---------------------------------------------------------------------------------------------
# Learning.

IGNORABLE, SPECIAL, MARK, ELEMENTS = 'ignorable', 'special', 'mark', 'elements'
BASE_DIACRITIC = 2


class Model:
    def __init__(self):
        self.kind = {}        # char -> kind
        self.elements = {}    # char -> [(primary, diacritic, (third rank, rank ignoring case))]
        self.special = {}     # char -> weight
        self.mark = {}        # char -> diacritic weight a mark adds to the element before it
        self.primaries = 0    # learned primary weights are 1 .. primaries


def learn(oracle, chars, log):
    model = Model()
    cmp = oracle.compare

    # Which characters carry a primary weight: one without adds nothing before "b" / "a".
    probes = []
    for x in chars:
        probes += [(x, ''), (x + 'a', 'a'), (x + 'b', 'a'), (x + 'b', 'c'), (x + 'a', 'b'),
                   (x + 'c', 'b'), ('A', 'a' + x)]
    answers = cmp(probes)
    weighted = []
    for i, x in enumerate(chars):
        alone, after_a, b_a, b_c, a_b, c_b, upper = answers[i * 7:(i + 1) * 7]
        no_primary = b_a[0] > 0 and b_c[0] < 0 and a_b[0] < 0 and c_b[0] > 0
        if alone[0] == 0 and after_a[0] == 0:
            model.kind[x] = IGNORABLE
        elif no_primary and upper[0] < 0:
            model.kind[x] = MARK          # it outweighs a case difference: diacritic level
        elif no_primary:
            model.kind[x] = SPECIAL
        else:
            model.kind[x] = ELEMENTS
            weighted.append(x)
    log('%d ignorable, %d special, %d marks, %d weighted' % (
        sum(k == IGNORABLE for k in model.kind.values()),
        sum(k == SPECIAL for k in model.kind.values()),
        sum(k == MARK for k in model.kind.values()), len(weighted)))

    # Specials rank by their answers alone (each is one special at position 0).
    specials = [x for x in chars if model.kind[x] == SPECIAL]
    rank_groups(specials, lambda a, b: cmp([(a, b)])[0][0], model.special, cmp)

    # Primary order. The lowest and a highest weighted character serve as suffixes that make
    # the primary level decide; the prefix cases (an expansion against its first letter) need
    # two more questions.
    low, high = ' ', '\u4e00'
    bounds = cmp([(x + high, high + low) for x in weighted] +
                 [(x + high, low + low) for x in weighted])
    if any(answer[0] >= 0 for answer in bounds[:len(weighted)]) or any(
            answer[0] <= 0 for answer in bounds[len(weighted):]):
        raise SystemExit('U+4E00 and the blank do not bound the learned primary weights')
    relation = primary_relation(cmp, weighted, low, high)

    # Expansions: characters whose primary weights extend those of another character.
    singles = [x for x in weighted
               if not any(relation[(y, x)] == 'prefix' for y in weighted if y != x)]
    expansions = [x for x in weighted if x not in singles]
    order = sorted(singles, key=functools.cmp_to_key(
        lambda a, b: {'lt': -1, 'gt': 1, 'eq': 0}[relation[(a, b)]]))
    primary = {}
    weight = 0
    for i, x in enumerate(order):
        if i == 0 or relation[(order[i - 1], x)] != 'eq':
            weight += 1
        primary[x] = weight
    model.primaries = weight
    log('%d primary weights, %d expansions' % (weight, len(expansions)))

    # Within a primary class: numeric diacritic weights, then the third level, whose weight has
    # a variant part that survives ignoring case (a superscript digit against the digit) and a
    # case part that does not.
    classes = {}
    for x in singles:
        classes.setdefault(primary[x], []).append(x)
    ruler, unit = learn_marks(cmp, model, chars, log)
    third = {}
    for members in classes.values():
        diacritics = learn_diacritics(cmp, members, ruler, unit)
        for x, diacritic in diacritics.items():
            model.elements[x] = [(primary[x], diacritic, None)]
        learn_third_level(cmp, members, diacritics, ruler, unit, third, log)
    for x in singles:
        model.elements[x] = [(primary[x], model.elements[x][0][1], third[x])]

    # Each expansion equals (on every level) a text of learned single characters.
    for x in expansions:
        text = decompose(cmp, x, singles, relation, classes, primary, low, high)
        if text is None:
            raise SystemExit('no decomposition found for U+%04X' % ord(x))
        model.elements[x] = [e for c in text for e in model.elements[c]]
        log('  U+%04X = %s' % (ord(x), ' '.join('U+%04X' % ord(c) for c in text)))

    return model


def learn_marks(cmp, model, chars, log):
    """Diacritic weights are numbers: a mark adds its weight to the element before it, modulo
    256 (an undecorated letter weighs BASE_DIACRITIC). The lightest mark serves as a ruler: every
    weight is some multiple of it modulo 256, found by comparing with the letter followed by
    that many rulers. The ruler's own weight is the one that orders all marks as observed."""
    marks = [x for x in chars if model.kind[x] == MARK]
    ruler = min(marks, key=functools.cmp_to_key(lambda m, n: cmp([('a' + m, 'a' + n)])[0][1]))
    steps = range(256)
    answers = cmp([('a' + m, 'a' + ruler * k) for m in marks for k in steps])
    in_rulers = {}
    for i, m in enumerate(marks):
        found = [k for k in steps if answers[i * 256 + k][1] == 0]
        if not found:
            raise SystemExit('mark U+%04X is no multiple of the ruler' % ord(m))
        in_rulers[m] = found[0]
    order = cmp([('a' + m, 'a' + n) for m in marks for n in marks])
    fitting = []
    for unit in range(1, 256, 2):
        total = {m: (BASE_DIACRITIC + in_rulers[m] * unit) % 256 for m in marks}
        if all(sign(total[m] - total[n]) == order[i * len(marks) + j][1]
               for i, m in enumerate(marks) for j, n in enumerate(marks)):
            fitting.append(unit)
    if len(fitting) != 1:
        raise SystemExit('the ruler weight is not determined: %s' % fitting)
    unit = fitting[0]
    for m in marks:
        model.mark[m] = in_rulers[m] * unit % 256
    log('ruler U+%04X weighs %d; %d marks' % (ord(ruler), unit, len(marks)))
    return ruler, unit


def same_diacritic(cmp, x, y):
    """Equal diacritic weights: then a diacritic difference after them decides."""
    before, after = cmp([(x + 'a', y + '\u00e1'), (x + '\u00e1', y + 'a')])
    return before[0] < 0 and after[0] > 0


def learn_diacritics(cmp, members, ruler, unit):
    """The numeric diacritic weight of each member of one primary class; the lightest member
    is undecorated."""
    cmp([(x + suffix, y + other) for x in members for y in members
         for suffix, other in (('a', '\u00e1'), ('\u00e1', 'a'))])  # one batch
    groups = []
    for x in members:
        for group in groups:
            if same_diacritic(cmp, group[0], x):
                group.append(x)
                break
        else:
            groups.append([x])
    # Between different diacritic weights, the case-blind answer is the diacritic order.
    groups.sort(key=functools.cmp_to_key(lambda g, h: cmp([(g[0], h[0])])[0][1]))
    base = groups[0][0]
    base_weight = lightest_weight(cmp, base, ruler, unit)
    weights = {x: base_weight for x in groups[0]}
    for group in groups[1:]:
        cmp([(group[0] + suffix, base + ruler * k + other) for k in range(1, 256)
             for suffix, other in (('a', '\u00e1'), ('\u00e1', 'a'))])  # one batch
        steps = [k for k in range(1, 256) if same_diacritic(cmp, group[0], base + ruler * k)]
        if not steps:
            raise SystemExit('no diacritic weight for U+%04X' % ord(group[0]))
        for x in group:
            weights[x] = (base_weight + steps[0] * unit) % 256
    return weights


def lightest_weight(cmp, x, ruler, unit):
    """The diacritic weight of the lightest member of a class. Marks before any letter weigh
    on their own, so rulers in front of x weigh less than x exactly while their total is below
    x's weight; an undecorated letter (which the level drops at the end) is outweighed by any."""
    inverse = pow(unit, -1, 256)
    totals = range(1, 256)
    texts = [ruler * (v * inverse % 256) + x for v in totals]
    answers = cmp([(text, x) for text in texts])
    heavier = [v for v, answer in zip(totals, answers) if answer[0] >= 0]
    if not heavier or heavier[0] <= BASE_DIACRITIC:
        return BASE_DIACRITIC
    return heavier[0]


def learn_third_level(cmp, members, diacritics, ruler, unit, third, log):
    """Members of one primary class differ on the third level in case, and in variants such as
    a superscript digit or a small capital that stay apart when case is ignored. Marks can give
    any member the diacritic weight of any other (a capital with a combining accent meets the
    accented capital), so the ranks hold across the whole class: each pair is compared after
    rulers have brought the first to the second's diacritic weight. The two views do not nest
    (a capital variant can sort above a small-capital variant and below it once case is
    ignored), so each element keeps a rank for each view."""
    inverse = pow(unit, -1, 256)

    def raised(x, y):
        return x + ruler * ((diacritics[y] - diacritics[x]) * inverse % 256)

    pairs = [(raised(x, y), y) for x in members for y in members]
    answers = dict(zip([(x, y) for x in members for y in members], cmp(pairs)))
    sensitive, blind = {}, {}
    for view, ranks in ((0, sensitive), (1, blind)):
        ordered = sorted(members, key=functools.cmp_to_key(lambda x, y: answers[(x, y)][view]))
        rank = 0
        for i, x in enumerate(ordered):
            if i == 0 or answers[(ordered[i - 1], x)][view] != 0:
                rank += 1
            ranks[x] = rank
    for x in members:
        third[x] = (sensitive[x], blind[x])
    for (x, y), answer in answers.items():
        if answer != (sign(sensitive[x] - sensitive[y]), sign(blind[x] - blind[y])):
            log('  third level does not order U+%04X U+%04X' % (ord(x), ord(y)))


def rank_groups(members, compare, ranks, cmp, ignore_case=False):
    """Ranks members from 1 up by `compare`; members that compare equal share a rank."""
    if not members:
        return
    column = 1 if ignore_case else 0
    cmp([(a, b) for a in members for b in members])  # one batch for the whole class
    ordered = sorted(members, key=functools.cmp_to_key(compare))
    rank = 0
    for i, x in enumerate(ordered):
        if i == 0 or cmp([(ordered[i - 1], x)])[0][column] != 0:
            rank += 1
        ranks[x] = rank


def primary_relation(cmp, weighted, low, high):
    """For every ordered pair: 'lt', 'gt', 'eq', or 'prefix' (the first's primary weights are a
    proper prefix of the second's) or 'extends' (the reverse)."""
    pairs = [(x, y) for x in weighted for y in weighted]
    first = cmp([(x + low, y + high) for x, y in pairs])
    second = cmp([(x + high, y + low) for x, y in pairs])
    relation = {}
    unclear = []
    for (x, y), one, two in zip(pairs, first, second):
        if one[0] > 0:
            relation[(x, y)] = 'gt'
        elif two[0] < 0:
            relation[(x, y)] = 'lt'
        else:
            unclear.append((x, y))
    third = cmp([(x + low, y) for x, y in unclear])
    fourth = cmp([(x, y + low) for x, y in unclear])
    for (x, y), three, four in zip(unclear, third, fourth):
        if three[0] < 0:
            relation[(x, y)] = 'prefix'
        elif four[0] > 0:
            relation[(x, y)] = 'extends'
        else:
            relation[(x, y)] = 'eq'
    return relation


def primary_equal(cmp, x, texts, low, high):
    """Which of `texts` have exactly x's primary weights (the tests of primary_relation)."""
    first = cmp([(x + low, text + high) for text in texts])
    second = cmp([(x + high, text + low) for text in texts])
    third = cmp([(x + low, text) for text in texts])
    fourth = cmp([(x, text + low) for text in texts])
    return [one[0] < 0 and two[0] > 0 and three[0] >= 0 and four[0] <= 0
            for one, two, three, four in zip(first, second, third, fourth)]


def decompose(cmp, x, singles, relation, classes, primary, low, high):
    """The text of two learned characters that equals expansion x on every level."""
    # The primary weights: a single whose weights begin x's, then one more class.
    heads = [y for y in singles if relation[(y, x)] == 'prefix']
    representatives = [members[0] for members in classes.values()]
    texts = [head + tail for head in heads for tail in representatives]
    matching = [text for text, equal in zip(texts, primary_equal(cmp, x, texts, low, high))
                if equal]
    if not matching:
        return None
    # The members of those two classes that match x on the other levels too.
    choices = [classes[primary[c]] for c in matching[0]]
    candidates = [a + b for a in choices[0] for b in choices[1]]
    answers = cmp([(x, c) for c in candidates])
    for text, answer in zip(candidates, answers):
        if answer == (0, 0):
            return text
    return None


# ---------------------------------------------------------------------------------------------
# The model, replayed (the C++ implementation follows the same steps).

UNLEARNED_BASE = 0x10000


def collation_keys(model, text, lower_case):
    """Elements (primary, diacritic, (third rank, rank ignoring case)), the summed weight of the
    marks before every element (None without such marks), and the specials (position,
    weight)."""
    elements, specials = [], []
    leading = None
    for c in text:
        kind = model.kind.get(c)
        if kind == IGNORABLE:
            continue
        if kind == SPECIAL:
            specials.append((len(elements), model.special[c]))
        elif kind == MARK and c in model.mark:
            if elements:
                p, d, k = elements[-1]
                elements[-1] = (p, (d + model.mark[c]) % 256, k)
            else:
                leading = ((leading or 0) + model.mark[c]) % 256
        elif kind == ELEMENTS:
            elements.extend(model.elements[c])
        else:
            lower = lower_case(c)
            if lower != c and lower not in model.kind:
                elements.append((UNLEARNED_BASE + ord(lower), BASE_DIACRITIC, (2, 1)))
            else:
                elements.append((UNLEARNED_BASE + ord(c), BASE_DIACRITIC, (1, 1)))
    return elements, leading, specials


def sign(x):
    return (x > 0) - (x < 0)


def model_compare(model, a, b, ignore_case, lower_case):
    ea, la, sa = collation_keys(model, a, lower_case)
    eb, lb, sb = collation_keys(model, b, lower_case)
    r = sign_of_sequences([e[0] for e in ea], [e[0] for e in eb])
    if r:
        return r
    r = sign_of_sequences(diacritics(ea, la), diacritics(eb, lb))
    if r:
        return r
    view = 1 if ignore_case else 0
    r = sign_of_sequences([e[2][view] for e in ea], [e[2][view] for e in eb])
    if r:
        return r
    for (pa, wa), (pb, wb) in zip(sa, sb):
        if pa != pb:
            return 1 if pa < pb else -1
        if wa != wb:
            return sign(wa - wb)
    return sign(len(sa) - len(sb))


def diacritics(elements, leading):
    """The diacritic level: the leading marks' weight first (when there are any), then the
    elements'; trailing weights no heavier than an undecorated letter's are dropped, so a
    leading mark can equal the same mark on the first letter."""
    sequence = ([leading] if leading is not None else []) + [e[1] for e in elements]
    while sequence and sequence[-1] <= BASE_DIACRITIC:
        sequence.pop()
    return sequence


def sign_of_sequences(x, y):
    for p, q in zip(x, y):
        if p != q:
            return 1 if p > q else -1
    return sign(len(x) - len(y))


def random_texts(rng, alphabets, count):
    texts = []
    for _ in range(count):
        alphabet = rng.choice(alphabets)
        length = rng.choice([0, 1, 1, 2, 2, 3, 3, 4, 5, 6])
        texts.append(''.join(rng.choice(alphabet) for _ in range(length)))
    return texts


def check(oracle, model, pairs, lower_case, log, show=20):
    answers = oracle.compare(pairs)
    wrong = []
    for (a, b), answer in zip(pairs, answers):
        mine = (model_compare(model, a, b, False, lower_case),
                model_compare(model, a, b, True, lower_case))
        if mine != answer:
            wrong.append((a, b, answer, mine))
    for a, b, answer, mine in wrong[:show]:
        log('  MISMATCH %s %s: system %s model %s' % (ascii(a), ascii(b), answer, mine))
    return len(wrong)


# ---------------------------------------------------------------------------------------------
# Casing, as the system's CharUpperBuff / CharLowerBuff answer it.

def learn_casing(oracle):
    ansi = {}
    for line in oracle.lines('CASEA', 256):
        byte, upper, lower = (int(x, 16) for x in line.split())
        ansi[byte] = (upper, lower)
    wide = {}
    for line in oracle.lines('CASEW', 0x10000):
        unit, upper, lower = (int(x, 16) for x in line.split())
        wide[unit] = (upper, lower)
    return ansi, wide


def case_runs(wide, column):
    """Runs of units that map by the same distance, consecutive (step 1) or every other
    (step 2, as in alternating capital and small letters)."""
    changed = sorted(u for u in wide if wide[u][column] != u)
    runs = []
    for unit in changed:
        delta = wide[unit][column] - unit
        if runs:
            first, last, run_delta, step = runs[-1]
            gap = unit - last
            if run_delta == delta and gap in (1, 2) and (first == last or gap == step):
                runs[-1] = (first, unit, delta, gap)
                continue
        runs.append((unit, unit, delta, 1))
    # Replaying the runs must give the table back.
    for unit in range(0x10000):
        mapped = unit
        for first, last, delta, step in runs:
            if first <= unit <= last and (unit - first) % step == 0:
                mapped = unit + delta
        assert mapped == wide[unit][column], hex(unit)
    return runs


# ---------------------------------------------------------------------------------------------
# The comparison table the unit test checks: every pair of single ANSI characters, texts that
# probe the word-sort rules, and UTF-16 texts over the learned ranges.

ANSI_GROUPS = [
    # hyphens and apostrophes weigh least, by position
    ["coop", "co-op", "co'op", "coop-", "-coop", "co--op", "co-o-p", "Co-op", "CO-OP", "co op",
     "co_op", "coo'p", "don't", "dont", "dont'", "'dont", "-", "'", "--", "''", "-'", "'-", ""],
    ["a-b", "ab-", "-ab", "a'b", "a--b", "a-b-", "ab", "a b", "a_b", "a.b", "A-b", "a-B", "aB",
     "a\x96b", "a\x97b", "a\x96", "\x97a"],
    # accents weigh more than case, less than letters
    ["resume", "Resume", "RESUME", "r\xe9sum\xe9", "R\xe9sum\xe9", "r\xe9sume", "resum\xe9",
     "resumes", "r\xe9sum\xe9s"],
    ["cote", "c\xf4te", "cot\xe9", "c\xf4t\xe9", "Cote", "C\xf4te", "Cot\xe9", "C\xf4t\xe9",
     "cotes", "c\xf4tes"],
    ["ab", "Ab", "aB", "AB", "\xe1b", "\xc1b", "\xe4b", "\xc4b", "\xe0b", "\xe2b", "\xe3b",
     "\xe5b", "a", "A", "\xe1", "\xc1", "aa", "Aa", "\xe1a", "a\xe1", "ac", "\xe1c"],
    # expansions: ligatures and sharp s compare as their letters
    ["ae", "AE", "Ae", "\xe6", "\xc6", "aeb", "\xe6b", "af", "ad", "\xe6z", "aez", "a", "b"],
    ["ss", "SS", "Ss", "\xdf", "s", "st", "s\xdf", "sss", "\xdfa", "ssa", "ssb"],
    ["oe", "OE", "\x9c", "\x8c", "od", "of", "\xf6", "\xd6", "o", "oea"],
    ["th", "TH", "\xfe", "\xde", "t", "ti", "tg", "u"],
    # digits sort as characters, before letters, after punctuation
    ["1", "01", "10", "9", "2", "\xb2", "\xb9", "\xb3", "\xbd", "1/2", "\xbc", "\xbe", "a1",
     "a01", "a10", "a9", "file9", "file10", "File10", "1.5", "1,5", "1a", "a", "0", "00"],
    # punctuation and symbols
    ["!", "?", ".", ",", ";", ":", "@", "#", "$", "%", "&", "*", "(", ")", "[", "]", "{", "}",
     "+", "=", "<", ">", "~", "^", "`", "|", "\\", "/", '"', "_", " ", "a", "0", "\x80", "\x85",
     "\x89", "\x95", "\x99", "\xa9", "\xae", "\xb0", "\xa7", "\xb6", "\xab", "\xbb"],
    ["@home", "home", "#1", "1", "a.b.c", "abc", "a,b", "a;b", "a b", "a  b", "a\tb", "a\nb",
     "ab ", " ab"],
    # lengths
    ["a", "aa", "aaa", "ab", "abc", "abd", "Abc", "abcd", "A", "AA", "\xe1", "\xe1a", "a-",
     "a'", "a\x01", "b", "B", ""],
    # characters the comparison ignores, alone or with others
    ["ab", "a\xadb", "\xadab", "ab\xad", "a\x01b", "a\x02b", "a\x1fb", "a\x7fb", "\x01ab",
     "ab\x01", "\xad", "\x01", "\x02", "\x7f", "", "a\x01\x02b", "a\x02\x01b", "-ab", "a-b"],
    # Windows-1252 punctuation and letters beyond Latin-1, and the unassigned bytes
    ["\x80", "E", "\x82", ",", "\x84", '"', "\x85", "...", "\x96", "\x97", "-", "\x99", "TM",
     "tm", "\x8a", "\x9a", "S", "s", "\x9f", "\xff", "Y", "y", "\x8e", "\x9e", "z", "Z", "\x83",
     "f", "\x88", "^", "\x98", "~", "\x91", "\x92", "'", "\x93", "\x94", "\x81", "\x8d", "\x8f",
     "\x90", "\x9d", "\x8b", "<", "\x9b", ">"],
    # names and words
    ["Anderson", "andersen", "Andersson", "\xc5ngstr\xf6m", "Angstrom", "M\xfcller", "Mueller",
     "Muller", "M\xfcler", "O'Brien", "OBrien", "O Brien", "Obrien", "Smith-Jones",
     "Smithjones", "Smith Jones", "de la Cruz", "DeLaCruz", "Delacruz", "\xc9mile", "Emile",
     "emile", "Zoe", "Zo\xeb", "zoe"],
]

WIDE_GROUPS = [
    # marks combine with the letter before them
    ["a\u0301", "\xe1", "A\u0301", "\xc1", "a\u0300", "a\u0301\u0300", "a\u0300\u0301",
     "\u0301a", "\u0301", "", "a", "\u0301\u0301a", "\u030aa", "a\u030a", "\xe5", "a-\u0301",
     "\xe1-", "-\u0301", "\u0301-"],
    ["u\u0308\u0301", "u\u0301\u0308", "\xfc\u0301", "\u01d8", "\u01d7", "\xfc", "\xfa",
     "u\u0308", "U\u0308\u0301", "\u01d8a", "\xfca"],
    # ligatures and digraphs of the extended ranges
    ["\u01c6", "d\u017e", "D\u017e", "DZ\u030c", "\u01c5", "\u01c4", "\u01f3", "dz", "Dz",
     "\u01f2", "\u01f1", "DZ", "\u0133", "ij", "IJ", "\u0132", "\u01c9", "lj", "\u01c8",
     "\u01c7", "LJ", "\u1efb", "ll", "\u1efa"],
    ["\u0131", "i", "I", "\u0130", "\u017f", "s", "S", "\u1e9e", "\xdf", "SS", "ss", "\u0138",
     "k", "q", "\u0149", "'n", "n", "\u014b", "\u014a", "ng"],
    # case variants beyond upper and lower: superscripts, modifier letters, small capitals
    ["r", "R", "\u02b3", "\u0280", "\u01a6", "ra", "Ra", "\u02b3a", "\u0280a", "\u01a6a", "r\xe1",
     "h", "H", "\u02b0", "\u029c", "1", "\xb9", "1a", "\xb9a", "1\xe1"],
    # dashes and general punctuation
    ["a\u2010b", "a\u2011b", "a\u2012b", "a\u2013b", "a\u2014b", "a\u2015b", "a-b", "ab",
     "a\u2018b", "a\u2019b", "a'b", "a\u201cb", "a\"b", "a\u2026b", "a...b", "a\u00b7b"],
]


def ansi_pairs():
    singles = [(bytes([a]), bytes([b])) for a in range(1, 256) for b in range(a + 1, 256)]
    multi = []
    for group in ANSI_GROUPS:
        texts = [t.encode('latin-1') for t in group]
        multi += [(a, b) for i, a in enumerate(texts) for b in texts[i + 1:]]
    return singles, multi


def wide_pairs(model, rng, count):
    pairs = []
    for group in WIDE_GROUPS:
        pairs += [(a, b) for i, a in enumerate(group) for b in group[i + 1:]]
    learned = sorted(model.kind)
    for _ in range(count):
        pairs.append((rng.choice(learned), rng.choice(learned)))
    alphabets = [learned, list("aAbB-'\u00e1\u00c1\u0301\u0300\u00e6\u00df\u0131\u01c6"),
                 list("rR\u02b3\u0280\u01a6hH\u02b0\u029c1\xb9\u2010\u2019 ")]
    texts = random_texts(rng, alphabets, count * 2)
    pairs += list(zip(texts[0::2], texts[1::2]))
    return pairs


# ---------------------------------------------------------------------------------------------
# Output.

KIND_NAMES = {IGNORABLE: 'Ignorable', SPECIAL: 'Special', MARK: 'Mark'}
LEARNED_BLOCKS = [(0x0000, 0x052F), (0x1E00, 0x1EFF), (0x2000, 0x214F)]


def write_tables(model, ansi_case, upper_runs, lower_runs):
    covered = set(ord(c) for c in model.kind)
    blocks = LEARNED_BLOCKS
    assert covered <= set(u for first, last in blocks for u in range(first, last + 1))
    expansions = sorted(c for c in model.elements if len(model.elements[c]) > 1)
    assert all(len(model.elements[c]) == 2 for c in expansions)
    index = {c: i for i, c in enumerate(expansions)}

    def entry(unit):
        c = chr(unit)
        kind = model.kind.get(c)
        if kind is None:
            return 'U()'
        if kind == IGNORABLE:
            return 'I()'
        if kind == SPECIAL:
            return 'S(%d)' % model.special[c]
        if kind == MARK:
            return 'M(%d)' % model.mark[c]
        if c in index:
            return 'X(%d)' % index[c]
        (primary, diacritic, (sensitive, blind)), = model.elements[c]
        return 'E(%d, %d, %d, %d)' % (primary, diacritic, sensitive, blind)

    out = ['// Generated by tests/collation/derive_tables.py from the answers of the system\'s',
           '// comparison and casing; do not edit by hand.', '']
    out.append('// Primary weights of learned elements run from 1 to kLearnedPrimaries.')
    out.append('constexpr std::uint32_t kLearnedPrimaries = %d;' % model.primaries)
    out.append('')
    out.append('// The learned units: blocks of consecutive units and where their entries start.')
    out.append('constexpr UnitBlock kBlocks[] = {')
    start = 0
    for first, last in blocks:
        out.append('    {0x%04X, 0x%04X, %d},' % (first, last, start))
        start += last - first + 1
    out.append('};')
    out.append('')
    out.append('constexpr UnitWeights kUnits[] = {')
    for first, last in blocks:
        # As many entries to a line as fit in 100 columns; the comment names the first unit.
        line, line_first = [], first
        for unit in range(first, last + 1):
            cell = entry(unit) + ','
            if line and len('    ' + ' '.join(line + [cell]) + '  // U+XXXX') > 100:
                out.append('    ' + ' '.join(line) + '  // U+%04X' % line_first)
                line, line_first = [], unit
            line.append(cell)
        out.append('    ' + ' '.join(line) + '  // U+%04X' % line_first)
    out.append('};')
    out.append('')
    out.append('// Units that weigh as two elements (ligatures, digraphs, sharp s).')
    out.append('constexpr ElementWeights kExpansions[][2] = {')
    for c in expansions:
        cells = ['{%d, %d, %d, %d}' % (p, d, s, b) for p, d, (s, b) in model.elements[c]]
        out.append('    {%s},  // U+%04X' % (', '.join(cells), ord(c)))
    out.append('};')
    out.append('')
    for name, column in (('kAnsiUpper', 0), ('kAnsiLower', 1)):
        out.append('constexpr unsigned char %s[256] = {' % name)
        for row in range(0, 256, 16):
            out.append('    ' + ', '.join('0x%02X' % ansi_case[b][column]
                                          for b in range(row, row + 16)) + ',')
        out.append('};')
        out.append('')
    for name, runs in (('kUpperRuns', upper_runs), ('kLowerRuns', lower_runs)):
        out.append('constexpr CaseRun %s[] = {' % name)
        for first, last, delta, step in runs:
            out.append('    {0x%04X, 0x%04X, %d, %d},' % (first, last, delta, step))
        out.append('};')
        out.append('')
    with open(TABLES, 'w') as f:
        f.write('\n'.join(out[:-1]) + '\n')


def write_comparisons(ansi_rows, wide_rows):
    out = ['# The system\'s answers to lstrcmpA/lstrcmpiA (A) and lstrcmpW/lstrcmpiW (W):',
           '# kind, the two texts in hexadecimal (two digits per ANSI byte, four per UTF-16 unit;',
           '# "-" is the empty text), the sign of the comparison, the sign ignoring case.',
           '# Generated by derive_tables.py; do not edit by hand.']
    for a, b, (s, i) in ansi_rows:
        out.append('A %s %s %d %d' % (a.hex() or '-', b.hex() or '-', s, i))
    for a, b, (s, i) in wide_rows:
        out.append('W %s %s %d %d' % (wide_hex(a), wide_hex(b), s, i))
    with open(COMPARISONS, 'w') as f:
        f.write('\n'.join(out) + '\n')


def write_casing(ansi_case, wide_case, units):
    out = ['# The system\'s casing: kind (A for ANSI bytes, W for UTF-16 units), the character,',
           '# its upper case, its lower case, in hexadecimal.',
           '# Generated by derive_tables.py; do not edit by hand.']
    for byte in range(256):
        out.append('A %02x %02x %02x' % ((byte,) + ansi_case[byte]))
    for unit in units:
        out.append('W %04x %04x %04x' % ((unit,) + wide_case[unit]))
    with open(CASING, 'w') as f:
        f.write('\n'.join(out) + '\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('probe', help='collation_probe.exe of a Windows build')
    parser.add_argument('--check', type=int, default=200000,
                        help='random text pairs to replay the learned model against')
    args = parser.parse_args()

    def log(text):
        print(text, file=sys.stderr, flush=True)

    oracle = Oracle(args.probe)
    info = oracle.lines('INFO', 1)[0]
    log(info)
    rng = random.Random(1252)

    # The ANSI comparison is the UTF-16 one on the widened texts: confirm before relying on it.
    singles, multi = ansi_pairs()
    ansi_answers = oracle.compare_ansi(singles + multi)
    widened = oracle.compare([(widen(a), widen(b)) for a, b in singles + multi])
    differing = sum(x != y for x, y in zip(ansi_answers, widened))
    log('ANSI against widened UTF-16: %d of %d answers differ' % (differing, len(widened)))
    if differing:
        raise SystemExit('the ANSI comparison is not the widened UTF-16 one')

    ansi_case, wide_case = learn_casing(oracle)
    upper_runs = case_runs(wide_case, 0)
    lower_runs = case_runs(wide_case, 1)
    log('casing: %d upper runs, %d lower runs' % (len(upper_runs), len(lower_runs)))

    chars = sorted(set(chr(u) for first, last in LEARNED_RANGES for u in range(first, last))
                   | set(CP1252_WIDE))
    model = learn(oracle, chars, log)

    def lower_case(c):
        return chr(wide_case[ord(c)][1])

    learned = sorted(model.kind)
    alphabets = [CP1252_WIDE, learned,
                 list("abcABC-'\u00e1\u00c1\u00e6\u00c6 e\u00e9\u00df\x01\u00ad"),
                 list("aAbB-'\x01\x02\u00ad\u00e0\u00c0\u0301\u0300\u0308\u030d"),
                 list("AaEeUuRr\u02b3\u0280\u01a6\xb9\u0301\u0300\u0308\u030d\u0327\xc1\xe1"
                      "\xc9\xdc-")]
    texts = random_texts(rng, alphabets, args.check * 2)
    pairs = list(zip(texts[0::2], texts[1::2]))
    for _ in range(args.check // 4):
        a = rng.choice(texts)
        if a:
            k = rng.randrange(len(a))
            pairs.append((a, a[:k] + rng.choice(rng.choice(alphabets)) + a[k + 1:]))
            pairs.append((a, a[:k] + rng.choice(rng.choice(alphabets)) + a[k:]))
    wrong = check(oracle, model, pairs, lower_case, log)
    log('replayed %d random pairs: %d differ' % (len(pairs), wrong))

    # Outside the learned ranges the order is by code point: how far that is from the system
    # is worth knowing, not a failure.
    others = learned + [chr(u) for u in range(0x370, 0x530)] + ['\u4e00', '\uac00', '\uff21']
    texts = random_texts(rng, [others], 20000)
    beyond = check(oracle, model, list(zip(texts[0::2], texts[1::2])), lower_case, log, show=0)
    log('beyond the learned ranges: %d of 10000 random pairs differ' % beyond)

    wide = wide_pairs(model, rng, 1000)
    wide_answers = oracle.compare(wide)
    mismatches = 0
    widened_rows = [((widen(a), widen(b)), answer)
                    for (a, b), answer in zip(singles + multi, ansi_answers)]
    for (a, b), answer in list(zip(wide, wide_answers)) + widened_rows:
        mine = (model_compare(model, a, b, False, lower_case),
                model_compare(model, a, b, True, lower_case))
        if mine != answer:
            mismatches += 1
            log('  MISMATCH %s %s: system %s model %s' % (ascii(a), ascii(b), answer, mine))
    log('comparison table: %d ANSI and %d UTF-16 pairs, %d differ from the model' % (
        len(singles + multi), len(wide), mismatches))
    if wrong or mismatches:
        raise SystemExit('the learned model does not reproduce the system; nothing written')

    write_tables(model, ansi_case, upper_runs, lower_runs)
    write_comparisons([(a, b, r) for (a, b), r in zip(singles + multi, ansi_answers)],
                      [(a, b, r) for (a, b), r in zip(wide, wide_answers)])
    units = sorted(set(u for u in wide_case if wide_case[u] != (u, u))
                   | set(range(0x0001, 0x0250)) | set(ord(c) for c in CP1252_WIDE))
    write_casing(ansi_case, wide_case, units)
    oracle.close()
    log('wrote %s, %s, %s' % (TABLES, COMPARISONS, CASING))


if __name__ == '__main__':
    main()
