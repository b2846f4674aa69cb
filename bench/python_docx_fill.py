#!/usr/bin/python3
"""The form document's fill done with python-docx, for a comparison with document_bench.

    python_docx_fill.py texts FILLED TEXTS
    python_docx_fill.py fill TEMPLATE TEXTS FILLS [OUT]

`texts` takes the texts that the form document step wrote into FILLED (a form document that
document_bench --keep made) and keeps them in TEXTS. `fill` then fills the same bookmarks and table
cells of the same template with them, FILLS times in one process, and prints the median and the
least time per fill; OUT, when given, keeps the last document made. A fill is what the step does
with its document: make it from the template, write every bookmark through an index of the
bookmarks made once per document, write the cells, save. The texts are read in a process of their
own, so that the process that fills has done nothing with a document before its first fill, as
document_bench has not.

Needs python-docx (the Debian package python3-docx).
"""

import copy
import json
import os
import sys
import tempfile
import time

from docx import Document
from docx.oxml.ns import qn

# The bookmarks the form document step fills, in its order.
BOOKMARKS = [
    "xm_askno", "xk_grpno", "jb_awardcode", "xm_name", "xm_ename", "xm_tjdw", "SF_PUBLIC", "MJ_SECRCODE",
    "XM_SECRTERM", "XM_FIXSECRORGAN", "XM_TOPICWORD", "XK_MAJORCODE1", "XK_MAJORNAME1", "XK_MAJORCODE2",
    "XK_MAJORNAME2", "XK_MAJORCODE3", "XK_MAJORNAME3", "HY_ETRADECODE", "LY_SOCUCODE", "XM_PLANNAME", "XM_NO",
    "XM_STARTDATE", "XM_FINISHDATE", "XM_VERSION", "XM_ABSTRACT", "XM_INNOVATION", "XM_RECOM", "XM_Zongtz",
    "XM_huis", "XM_ZHIJYJ", "XM_JIANJYJ", "XM_SOSIETY", "RY_NAME", "RY_ID", "RY_BIRTHDAY", "RY_BPLACE",
    "MZ_NATIONCODE", "XB_SEX", "DP_SECTCODE", "ZC_TITLECODE", "RY_POSITION", "WP_EDULEV", "XW_DEGREE",
    "RY_WORKMAJOR", "RY_SPECMAJOR", "RY_GRDUNIV", "RY_GRDTIME", "RY_UNIT", "RY_FIXTEL", "RY_POSTADDR",
    "RY_POSTCODE", "RY_EMAIL", "RY_MPNO", "RY_HONOR", "RY_START", "RY_FINISH", "RY_CONTRIBUTION",
    "XM_PINGJIA", "XM_PAPERS",
]

# The cells it writes, tables and rows counted from 1: the direct benefit (three years from row 4,
# totals in row 7), the indirect benefit (from row 3, totals in row 6) and the awards (from row 2).
BENEFIT_TABLES = [(5, 4), (6, 3)]
AWARDS_TABLE = 8

W_R, W_T, W_BR, W_TAB, W_P = qn("w:r"), qn("w:t"), qn("w:br"), qn("w:tab"), qn("w:p")
W_RPR, W_PPR = qn("w:rPr"), qn("w:pPr")
START, END, NAME, ID = qn("w:bookmarkStart"), qn("w:bookmarkEnd"), qn("w:name"), qn("w:id")
XML_SPACE = "{http://www.w3.org/XML/1998/namespace}space"


def bookmark_index(body):
    """Every bookmark by exact name and by name in lower case: (start, end)."""
    starts, ends = [], {}
    for el in body.iter(START, END):
        if el.tag == START:
            starts.append(el)
        else:
            ends.setdefault(el.get(ID), el)
    exact, caseless = {}, {}
    for s in starts:
        pair = (s, ends.get(s.get(ID)))
        exact.setdefault(s.get(NAME), pair)
        caseless.setdefault(s.get(NAME).lower(), pair)
    return exact, caseless


def find(index, name):
    exact, caseless = index
    return exact.get(name) or caseless[name.lower()]


def text_between(start, end):
    out = []
    node = start.getnext()
    while node is not None and node is not end:
        for el in node.iter(W_T, W_BR, W_TAB):
            out.append(el.text or "" if el.tag == W_T else "\n" if el.tag == W_BR else "\t")
        node = node.getnext()
    return "".join(out)


def append_text(run, text):
    """Line breaks and tabs as the form document step writes them."""
    segment = []

    def flush():
        if segment:
            t = run.makeelement(W_T, {XML_SPACE: "preserve"})
            t.text = "".join(segment)
            run.append(t)
            segment.clear()

    i = 0
    while i < len(text):
        c = text[i]
        if c in "\r\n\v":
            flush()
            run.append(run.makeelement(W_BR, {}))
            if c == "\r" and text[i + 1 : i + 2] == "\n":
                i += 1
        elif c == "\t":
            flush()
            run.append(run.makeelement(W_TAB, {}))
        else:
            segment.append(c)
        i += 1
    flush()


def set_bookmark_text(index, name, text):
    """The content between the markers becomes the text, in the format of the first run it held."""
    start, end = find(index, name)
    paragraph = start.getparent()
    rpr = None
    node = start.getnext()
    doomed = []
    while node is not None and node is not end:
        if node.tag in (START, END):
            node = node.getnext()
            continue
        if rpr is None and node.tag == W_R and node.find(W_RPR) is not None:
            rpr = node.find(W_RPR)
        doomed.append(node)
        node = node.getnext()
    if rpr is None:
        for run in paragraph.iterchildren(W_R):
            if run is start:
                break
            if run.find(W_RPR) is not None:
                rpr = run.find(W_RPR)
    run = paragraph.makeelement(W_R, {})
    if rpr is not None:
        run.append(copy.deepcopy(rpr))
    for node in doomed:
        paragraph.remove(node)
    if text:
        append_text(run, text)
        start.addnext(run)


def cells(document, table):
    """The cells of each row as they stand, a merged cell counting once."""
    return [row._tr.tc_lst for row in document.tables[table - 1].rows]


def cell_text(tc):
    return "\r".join("".join(t.text or "" for t in p.iter(W_T)) for p in tc.iterchildren(W_P))


def set_cell_text(tc, text):
    """The cell keeps its first paragraph's properties."""
    paragraphs = list(tc.iterchildren(W_P))
    first = paragraphs[0]
    for p in paragraphs[1:]:
        tc.remove(p)
    for child in list(first):
        if child.tag != W_PPR:
            first.remove(child)
    if text:
        run = first.makeelement(W_R, {})
        append_text(run, text)
        first.append(run)


def writes_of(filled):
    """What the step wrote into its document: the bookmarks' texts and the cells' texts."""
    document = Document(filled)
    index = bookmark_index(document.element.body)
    texts = [(name, text_between(*find(index, name))) for name in BOOKMARKS]
    writes = []
    for table, first in BENEFIT_TABLES:
        rows = cells(document, table)
        for row in range(first, first + 4):
            for column in range(1 if row < first + 3 else 2, 7):
                writes.append((table, row, column, cell_text(rows[row - 1][column - 1])))
    rows = cells(document, AWARDS_TABLE)
    for row in range(2, len(rows) + 1):
        if cell_text(rows[row - 1][0]):
            for column in range(1, 6):
                writes.append((AWARDS_TABLE, row, column, cell_text(rows[row - 1][column - 1])))
    return texts, writes


def fill(template, texts, writes, target):
    document = Document(template)
    index = bookmark_index(document.element.body)
    for name, text in texts:
        set_bookmark_text(index, name, text)
    tables = {}
    for table, row, column, text in writes:
        if table not in tables:
            tables[table] = cells(document, table)
        set_cell_text(tables[table][row - 1][column - 1], text)
    document.save(target)


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "texts":
        texts, writes = writes_of(sys.argv[2])
        with open(sys.argv[3], "w", encoding="utf-8") as out:
            json.dump({"bookmarks": texts, "cells": writes}, out, ensure_ascii=False)
        return
    if len(sys.argv) < 5 or sys.argv[1] != "fill":
        sys.exit(__doc__)
    template, fills = sys.argv[2], max(1, int(sys.argv[4]))
    keep = sys.argv[5] if len(sys.argv) > 5 else None
    with open(sys.argv[3], encoding="utf-8") as source:
        kept = json.load(source)
    texts = [tuple(t) for t in kept["bookmarks"]]
    writes = [tuple(w) for w in kept["cells"]]
    with tempfile.TemporaryDirectory() as folder:
        target = os.path.join(folder, "form.docx")
        times = []
        for _ in range(fills):
            start = time.perf_counter()
            fill(template, texts, writes, target)
            times.append((time.perf_counter() - start) * 1000)
        if keep:
            os.replace(target, keep)
    print("fills per document: %d" % fills)
    print("form document with python-docx: median %.2f ms per fill (least %.2f ms)"
          % (sorted(times)[len(times) // 2], min(times)))
    print("bookmarks %d, cells %d" % (len(texts), len(writes)))


if __name__ == "__main__":
    main()
