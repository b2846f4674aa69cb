# What a screen reader finds in the running program, read through AT-SPI as Orca reads it: the main
# window, section 一 (and the order in which Tab walks it), section 七 and the 数据源 dialog. Fails on
# a field a person can reach that has no name or is named by its value. With a folder as its
# argument it also writes what it read of sections 一 and 七 there (a11y-dump-1.txt, -7.txt).
import sys
import time

import pyatspi

FIELDS = {"text", "password text", "combo box", "push button", "check box", "radio button", "tree", "table",
          "list", "spin button", "entry", "toggle button"}
KEYS = {"Tab": 0xFF09, "Down": 0xFF54, "Home": 0xFF50, "Escape": 0xFF1B}
ALT_KEYCODE = 64  # Alt_L in the X server's default keyboard map
failures = []


def wait_for(what, find, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        try:
            found = find()
        except Exception:  # an object that went while it was read (the splash window closing)
            found = None
        if found:
            return found
        time.sleep(0.2)
    sys.exit(f"accessible tree: {what} did not appear")


def walk(o):
    yield o
    for i in range(o.childCount):
        c = o.getChildAtIndex(i)
        if c is not None:
            yield from walk(c)


def showing(o):
    return o.getState().contains(pyatspi.STATE_SHOWING)


def value(o):
    try:
        t = o.queryText()
        return t.getText(0, t.characterCount)
    except NotImplementedError:
        return ""


def label(o):
    for r in o.getRelationSet():
        if r.getRelationType() == pyatspi.RELATION_LABELLED_BY and r.getNTargets() > 0:
            return r.getTarget(0).name
    return ""


def fields(root):
    return [o for o in walk(root) if showing(o) and o.getRoleName() in FIELDS
            and o.getState().contains(pyatspi.STATE_FOCUSABLE)]


def check(where, root):
    for o in fields(root):
        name, shown = o.name.strip(), value(o).strip()
        if not name:
            failures.append(f"{where}: a {o.getRoleName()} without a name (showing {shown!r})")
        elif name == shown or (o.getRoleName() == "combo box" and label(o) and squeezed(name) != squeezed(label(o))):
            failures.append(f"{where}: a {o.getRoleName()} named by its value {name!r}")


def squeezed(text):
    return "".join(text.split()).rstrip("：:")


def reading_order(objs):
    boxes = [(o, o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)) for o in objs]
    boxes.sort(key=lambda b: (b[1].y, b[1].x))
    rows, row_bottom = [], None
    for o, e in boxes:
        if row_bottom is None or e.y + e.height / 2 > row_bottom:
            rows.append([])
            row_bottom = e.y + e.height
        rows[-1].append((e.x, o))
    return [o for row in rows for _, o in sorted(row, key=lambda p: p[0])]


def dump(title, root, path):
    lines = [title]
    for o in reading_order(fields(root)):
        said = [o.name, o.getRoleName()]
        if value(o).strip():
            said.append(value(o))
        if o.description:
            said.append(o.description)
        lines.append("，".join(said))
    if path:
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")


def key(name, alt=False):
    if alt:
        pyatspi.Registry.generateKeyboardEvent(ALT_KEYCODE, None, pyatspi.KEY_PRESS)
    pyatspi.Registry.generateKeyboardEvent(KEYS.get(name, ord(name[0])), None, pyatspi.KEY_SYM)
    if alt:
        pyatspi.Registry.generateKeyboardEvent(ALT_KEYCODE, None, pyatspi.KEY_RELEASE)
    time.sleep(0.15)


def click(o):
    """What a click does: no window manager hands out the keyboard here, a click on a window does."""
    e = o.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(e.x + min(5, e.width // 2), e.y + e.height // 2, "b1c")
    time.sleep(0.3)


def settled(changed, within=3):
    """Waits a moment for a key's effect, which a busy machine may show late; True once seen."""
    deadline = time.time() + within
    while time.time() < deadline:
        if changed():
            return True
        time.sleep(0.05)
    return False


def focused(root):
    for o in walk(root):
        if o.getState().contains(pyatspi.STATE_FOCUSED) and o.getRoleName() in FIELDS:
            return o
    return None


out = sys.argv[1] if len(sys.argv) > 1 else ""
desktop = pyatspi.Registry.getDesktop(0)
app = wait_for("the program", lambda: next((desktop.getChildAtIndex(i) for i in range(desktop.childCount)
                                            if desktop.getChildAtIndex(i).name == "laurel"), None))
main = wait_for("the main window", lambda: next((o for o in walk(app) if o.getRoleName() == "frame"
                                                 and o.name.endswith("推荐系统")), None))
new = wait_for("新增推荐书", lambda: next((o for o in walk(main) if o.getRoleName() == "push button"
                                          and o.name == "新增推荐书"), None))
check("main window", main)
new.queryAction().doAction(0)
first = wait_for("section 一", lambda: next((o for o in walk(main) if o.name == "项目名称 中文" and showing(o)), None))
form = first.parent
check("section 一", main)
dump("一、项目基本情况", form, out and f"{out}/a11y-dump-1.txt")

# The recommendation list reads as it shows: the columns the user sees, none of the program's own.
listed = next((o for o in walk(main) if o.getRoleName() == "table" and showing(o) and o.name.startswith("推荐号")),
              None)
if listed is None:
    failures.append("main window: no recommendation list named by its columns")
else:
    table = listed.queryTable()
    heads = [table.getColumnDescription(c) for c in range(table.nColumns)]
    if heads != ["推荐号", "项目名称"]:
        failures.append(f"main window: the recommendation list reads the columns {heads}")
    if out:
        with open(f"{out}/a11y-dump-1.txt", "a", encoding="utf-8") as f:
            f.write(f"{listed.name}，table，{table.nRows} 行（{'｜'.join(heads)}）\n")

# Tab from the first field visits the form's fields as they are read, then leaves it.
expected = [o.name for o in reading_order(fields(form))]
click(first)
wait_for("the cursor in the first field", lambda: focused(form) is not None and focused(form).name == first.name)
walked = [focused(form).name]
for _ in range(len(expected) - 1):
    key("Tab")
    settled(lambda: focused(form) is not None and focused(form).name != walked[-1])
    walked.append(wait_for("the cursor", lambda: focused(form)).name)
if walked != expected:
    failures.append(f"section 一: Tab walks {walked}, the form reads {expected}")
key("Tab")
if not settled(lambda: focused(form) is None):
    failures.append("section 一: Tab past the last field stays in the form")

# Section 七 through the tree, by keyboard.
tree = next(o for o in walk(main) if o.getRoleName() == "tree")
click(next(o for o in walk(tree) if o.name == "推荐书"))
key("Home")
for _ in range(7):
    key("Down")
person = wait_for("section 七", lambda: next((o for o in walk(main) if o.name.startswith("姓名") and showing(o)
                                             and o.getRoleName() == "text"), None))
check("section 七", main)
dump("七、主要完成人情况", person.parent, out and f"{out}/a11y-dump-7.txt")
if out:
    # Under the form, the list of contributors that picks the one shown.
    with open(f"{out}/a11y-dump-7.txt", "a", encoding="utf-8") as f:
        for o in walk(main):
            if o.getRoleName() == "table" and showing(o) and o.name.startswith("排序"):
                f.write(f"{o.name}，table\n")

# The 数据源 dialog, opened from the menu by its access keys and closed by Esc.
key("s", alt=True)
settled(lambda: any(o.getRoleName() == "menu" and showing(o) for o in walk(app)))
key("d")
dialog = wait_for("数据源", lambda: next((o for o in walk(app) if o.getRoleName() == "dialog" and o.name == "数据源"),
                                        None))
check("数据源", dialog)
key("Escape")
wait_for("数据源 closed", lambda: not any(o.getRoleName() == "dialog" and showing(o) for o in walk(app)))

for f in failures:
    print(f, file=sys.stderr)
print(f"accessible tree: {len(failures)} faults")
sys.exit(1 if failures else 0)
