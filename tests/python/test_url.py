"""The URL pack end to end: Sheet.register_url() and the twelve URL_* functions in formulas.

Skipped until the module's Sheet class carries register_url (the pack is optional)."""

import pytest

import tabrix

Sheet = getattr(tabrix, "Sheet", None)
pytestmark = pytest.mark.skipif(
    Sheet is None or not hasattr(Sheet, "register_url"),
    reason="this build has no Sheet.register_url",
)


@pytest.fixture
def sheet():
    s = Sheet()
    s.register_url()
    return s


def value_of(sheet, formula, **cells):
    sheet.set_cells([(k, v) for k, v in cells.items()] + [("Z1", formula)])
    return sheet.get("Z1")


@pytest.mark.parametrize(
    "formula, want",
    [
        ('=URL_SCHEME("HTTPS://example.com")', "https"),
        ('=URL_HOST("http://Example.COM:8080/x")', "example.com"),
        ('=URL_HOST("mailto:joe@example.com")', None),
        ('=URL_PORT("http://h:80/")', "0"),
        ('=URL_PORT("http://h:8080/")', "8080"),
        ('=URL_PATH("http://h")', "/"),
        ('=URL_PATH_SEGMENT("http://h/a/b%20c/", 2)', "b c"),
        ('=URL_PATH_SEGMENT("http://h/a/b%20c/", -1)', None),
        ('=URL_PATH_SEGMENT("mailto:joe@example.com", 1)', None),
        ('=URL_QUERY("http://h/p?q=1#top")', "q=1"),
        ('=URL_FRAGMENT("http://h/p?q=1#top")', "top"),
        ('=URL_PARAM("http://h/?a=1&b=two+words&a=3", "a")', "1"),
        ('=URL_PARAM("http://h/?a=1&b=two+words&a=3", "b")', "two words"),
        ('=URL_PARAM("http://h/?a=1&b=two+words&a=3", "A")', None),
        ('=URL_VALID("example")', "FALSE"),
        ('=URL_VALID("http://h")', "TRUE"),
        ('=URL_ENCODE("a b&c")', "a%20b%26c"),
        ('=URL_ENCODE("é")', "%C3%A9"),
        ('=URL_DECODE("%C3%A9")', "é"),
        ('=URL_JOIN("http://h/a/b", "../c")', "http://h/c"),
        ("=url_host('http://h/')", "h"),
    ],
)
def test_functions(sheet, formula, want):
    got = value_of(sheet, formula)
    assert (got or None) == want


@pytest.mark.parametrize(
    "formula, want",
    [
        ("=URL_HOST()", "#VALUE! URL_HOST: expected 1 arg"),
        ('=URL_HOST("http://a/", "b")', "#VALUE! URL_HOST: expected 1 arg"),
        ('=URL_JOIN("http://a/")', "#VALUE! URL_JOIN: expected 2 args"),
        ("=URL_HOST(42)", "#VALUE! URL_HOST: arg #1 must be text"),
        ("=URL_HOST(TRUE)", "#VALUE! URL_HOST: arg #1 must be text"),
        ('=URL_HOST("example")', "#VALUE! URL_HOST: invalid URL (relative URL without a base)"),
        ('=URL_HOST("http://h:99999/")', "#VALUE! URL_HOST: invalid URL (invalid port number)"),
        ("=URL_VALID(1)", "#VALUE! URL_VALID: arg #1 must be text"),
        ('=URL_PATH_SEGMENT("http://h/a", 0)',
         "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"),
        ('=URL_PATH_SEGMENT("http://h/a", 1.5)',
         "#VALUE! URL_PATH_SEGMENT: index must be a non-zero whole number"),
        ('=URL_PATH_SEGMENT("http://h/a", "x")', "#VALUE! URL_PATH_SEGMENT: arg #2 must be a number"),
        ('=URL_PATH_SEGMENT("http://h/%FF", 1)',
         "#VALUE! URL_PATH_SEGMENT: segment is not valid UTF-8"),
        ('=URL_DECODE("%FF")', "#VALUE! URL_DECODE: result is not valid UTF-8"),
        ('=URL_JOIN("mailto:x", "y")',
         "#VALUE! URL_JOIN: relative URL with a cannot-be-a-base base"),
    ],
)
def test_failures_are_value_errors(sheet, formula, want):
    assert value_of(sheet, formula) == want


def test_arguments_come_from_cells_and_ranges(sheet):
    assert value_of(sheet, "=URL_HOST(A1)", A1="https://x.org/") == "x.org"
    # A range of two cells is two arguments.
    assert value_of(sheet, "=URL_HOST(A1:A2)", A1="http://a/", A2="http://b/") == (
        "#VALUE! URL_HOST: expected 1 arg"
    )


def test_register_url_twice_raises_and_keeps_the_first():
    s = Sheet()
    assert s.register_url() is None
    with pytest.raises(ValueError, match="^custom function name collides with existing: URL_SCHEME$"):
        s.register_url()
    s.set_cells([("A1", '=URL_SCHEME("ftp://x")')])
    assert s.get("A1") == "ftp"


def test_register_url_does_not_recalculate():
    s = Sheet()
    s.set_cells([("A1", '=URL_HOST("http://h/")')])
    before = s.get("A1")
    s.register_url()
    assert s.get("A1") == before
    s.set_cells([("B1", "x")])
    assert s.get("A1") == "h"


def test_register_url_signature():
    # The interpreter takes the "register_url($self)" line as the text signature.
    assert Sheet.register_url.__text_signature__ == "($self)"
