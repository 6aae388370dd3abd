#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Every numeric query that README.md and man/hostq.1 show with its address
is a row of tests/numeric_cases.tsv, which the tests run: a document cannot
drift from the code. And every link of README.md, HACKING.md and doc/
to a file of the tree, and to a heading of a page, leads somewhere.

  doc_examples.py SOURCE_DIR
"""
import os
import re
import sys


def readme_examples(text):
    """The table of "How a numeric query is read": | `q`, `q` | a, a | why |"""
    section = text.split("## How a numeric query is read", 1)[1].split("\n## ", 1)[0]
    for queries, addresses in re.findall(r"^\| ((?:`[^`|]*`|empty)(?:, (?:`[^`|]*`|empty))*) \| ([^|]*) \|",
                                         section, re.M):
        if addresses.strip() == "(name query)":
            continue
        queries = [q.strip("`") if q != "empty" else "" for q in queries.split(", ")]
        addresses = addresses.strip().split(", ")
        if len(queries) != len(addresses):
            sys.exit(f"README.md: {len(queries)} queries but {len(addresses)} addresses: {queries}")
        yield from zip(queries, addresses)


def man_examples(text):
    """The column list (.It Ql QUERY Ta ADDRESS) and the EXAMPLES section."""
    for query, address in re.findall(r"^\.It (?:Ql (\S+)|Po empty Pc) Ta (\S+)$", text, re.M):
        yield query, address
    yield from re.findall(r"^\$ hostq ([0-9.]+)\n([0-9.]+)$", text, re.M)


def anchor(heading):
    """GitHub's anchor of a heading: lower case, punctuation dropped, a
    hyphen a space."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def broken_links(top):
    """Each link of the pages that leads nowhere, and how many were read."""
    pages = ["README.md", "HACKING.md"] + sorted("doc/" + f for f in os.listdir(os.path.join(top, "doc")))
    links = 0
    for page in pages:
        with open(os.path.join(top, page)) as f:
            text = f.read()
        for target in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z]+:", target):
                continue
            links += 1
            path, _, part = target.partition("#")
            path = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(os.path.join(top, path)):
                yield f"{page}: {target}: no such file"
            elif part:
                with open(os.path.join(top, path)) as f:
                    if part not in {anchor(h) for h in re.findall(r"^#+ (.*)$", f.read(), re.M)}:
                        yield f"{page}: {target}: no such heading in {path}"
    if links < 10:
        yield f"read {links} links; the reading above no longer finds them"


def main():
    top = sys.argv[1]
    cases = set()
    with open(os.path.join(top, "tests/numeric_cases.tsv")) as f:
        for line in f:
            if not line.startswith("#"):
                address, query = line.rstrip("\n").split("\t")
                cases.add((query, address))
    failed = 0
    for doc, examples in (("README.md", readme_examples), ("man/hostq.1", man_examples)):
        with open(os.path.join(top, doc)) as f:
            found = list(examples(f.read()))
        if len(found) < 5:
            print(f"FAIL: {doc}: found {len(found)} numeric examples; the reading above no longer finds them")
            failed += 1
        for query, address in found:
            if (query, address) not in cases:
                print(f"FAIL: {doc}: '{query}' is {address}, which no row of tests/numeric_cases.tsv says")
                failed += 1
        print(f"{doc}: {len(found)} numeric examples")
    for broken in broken_links(top):
        print(f"FAIL: {broken}")
        failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
